// The part of a thread object's control block that both platforms share: the flags, the return
// value, the exception that escaped the body, and the hand-over of an object to its own thread.
// Each platform's block (the system thread, the end signal) derives from it. Internal to the
// platform layer.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/threads/thread.h"

namespace qv::platform {

struct Thread::Control {
  uint32_t id = 0;  // set before the thread object is handed out

  std::atomic<bool> terminated{false};
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  std::atomic<bool> abandoned{false};
  std::atomic<bool> free_when_ended{false};
  std::atomic<uint32_t> return_value{0};

  std::mutex mutex;           // guards the members below (and the platform's own, where it says so)
  bool body_done = false;     // the body ended normally; Abandon no longer applies
  bool past_release = false;  // the ending thread has looked for a handed-over object
  std::unique_ptr<Thread> self_owner;
  std::exception_ptr fatal_exception;

  // Called by the ending thread after the body and its end notification: from now on a hand-over
  // releases at once. The object to release here when it was handed over with FreeWhenEnded set.
  std::unique_ptr<Thread> TakeObjectToRelease() {
    const std::lock_guard<std::mutex> lock(mutex);
    past_release = true;
    if (free_when_ended) return std::move(self_owner);
    return nullptr;
  }
};

}  // namespace qv::platform
