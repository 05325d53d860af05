#include "platform/threads/system_threads_posix.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/com/com_thread_state.h"
#include "platform/errors/last_error.h"
#include "platform/window_messages/message_state_posix.h"

namespace qv::platform::posix {

namespace {

// The stack of every system thread: Windows gives a thread 1 MB unless told otherwise, and so do we.
// The system default (8 MB here) makes a new thread dearer and keeps more memory mapped.
constexpr size_t kStackSize = 1024 * 1024;
// Idle threads kept at most, and how long each waits for work before it ends.
constexpr size_t kMaxIdle = 32;
constexpr auto kIdleTime = std::chrono::seconds(10);
// The name an idle thread carries while it waits, so that `top -H`, a debugger and /proc tell the
// threads that serve from those that wait for work. At work it carries its creator's name again.
constexpr char kIdleName[] = "qv-idle";

// One system thread's slot: the work handed to it while it waits.
struct Worker {
  std::mutex mutex;  // guards work
  std::condition_variable woken;
  std::function<void()> work;
};

// The idle threads. The pool's lock guards only the list; a hand-over wakes one thread through the
// thread's own lock, so that threads finishing and taking work do not queue up behind each other.
class Pool {
 public:
  // Hands the work to an idle thread; false when none waits.
  bool HandOver(std::function<void()>& work) {
    Worker* worker;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (idle_.empty()) return false;
      worker = idle_.back();  // the latest to finish: its stack is the warmest
      idle_.pop_back();
    }
    // Taken off the list, the thread waits until it has work, so it is still there. It is woken
    // under its lock: once the lock is free it may run the work and end.
    std::lock_guard<std::mutex> lock(worker->mutex);
    worker->work = std::move(work);
    worker->woken.notify_one();
    return true;
  }

  // The calling thread's next work, after a wait of up to kIdleTime; empty when it is to end.
  std::function<void()> NextWork(Worker& worker) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (idle_.size() >= kMaxIdle) return {};
      idle_.push_back(&worker);
    }
    std::unique_lock<std::mutex> lock(worker.mutex);
    const auto has_work = [&worker] { return static_cast<bool>(worker.work); };
    if (!worker.woken.wait_for(lock, kIdleTime, has_work)) {
      lock.unlock();
      {
        std::lock_guard<std::mutex> list_lock(mutex_);
        const auto found = std::find(idle_.begin(), idle_.end(), &worker);
        if (found != idle_.end()) {
          idle_.erase(found);
          return {};
        }
      }
      // Taken off the list by a hand-over just now: its work is on the way.
      lock.lock();
      worker.woken.wait(lock, has_work);
    }
    return std::exchange(worker.work, nullptr);
  }

  int Idle() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(idle_.size());
  }

 private:
  std::mutex mutex_;  // guards idle_
  std::vector<Worker*> idle_;
};

Pool& ThePool() {
  // Never destroyed: idle threads may still wait on it while the process ends.
  alignas(Pool) static unsigned char storage[sizeof(Pool)];
  static Pool* const pool = ::new (storage) Pool();
  return *pool;
}

// Makes the calling thread's platform state what a new thread has.
void ForgetThreadState() {
  SetLastError(0);
  ForgetThreadQueue();
  ForgetLastMessage();
  ForgetThreadApartment();
}

void* WorkerMain(void* first_work) {
  std::function<void()> work;
  {
    std::unique_ptr<std::function<void()>> given(static_cast<std::function<void()>*>(first_work));
    work = std::move(*given);
  }
  Worker worker;
  char working_name[16] = "";
  pthread_getname_np(pthread_self(), working_name, sizeof(working_name));
  while (work) {
    work();
    work = nullptr;  // what it holds goes before the thread waits
    ForgetThreadState();
    pthread_setname_np(pthread_self(), kIdleName);
    work = ThePool().NextWork(worker);
    if (work) pthread_setname_np(pthread_self(), working_name);
  }
  return nullptr;
}

}  // namespace

void RunOnSystemThread(std::function<void()> work) {
  if (ThePool().HandOver(work)) return;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStackSize);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  auto first_work = std::make_unique<std::function<void()>>(std::move(work));
  pthread_t thread;
  const int result = pthread_create(&thread, &attributes, &WorkerMain, first_work.get());
  pthread_attr_destroy(&attributes);
  if (result != 0) throw std::system_error(result, std::generic_category(), "cannot start a thread");
  first_work.release();  // the new thread owns it
}

int IdleSystemThreads() {
  return ThePool().Idle();
}

}  // namespace qv::platform::posix
