// The state behind a waitable object on POSIX: a mutex, a condition variable, and the rule by which a
// waiter finds the object signalled (and takes it). Internal to the POSIX platform layer.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/threads/sync.h"

namespace qv::platform {

struct WaitableObject::State {
  virtual ~State() = default;

  // Called with the mutex held: true when the object is signalled; a taking wait takes it as well.
  virtual bool TryTake() = 0;

  std::mutex mutex;
  std::condition_variable changed;
};

namespace posix {

// The object a thread handle refers to: signalled for good once the thread has ended.
struct ThreadEndState : WaitableObject::State {
  bool TryTake() override { return ended; }
  void Signal() {
    std::lock_guard<std::mutex> lock(mutex);
    ended = true;
    changed.notify_all();
  }
  bool ended = false;  // guarded by mutex
};

}  // namespace posix
}  // namespace qv::platform
