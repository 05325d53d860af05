// Thread objects on Linux: each runs on a pooled system thread (system_threads_posix.h) from Resume
// on, with an identifier of this layer's own; Abandon gives the thread up (see thread.h).
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/threads/system_threads_posix.h"
#include "platform/threads/thread.h"
#include "platform/threads/thread_control.h"
#include "platform/threads/waitable_state_posix.h"
#include "platform/window_messages/message_state_posix.h"

namespace qv::platform {

namespace {

std::atomic<uint32_t> next_thread_id{1};

uint32_t NewThreadId() {
  return next_thread_id.fetch_add(1, std::memory_order_relaxed);
}

thread_local uint32_t current_thread_id = 0;
thread_local Thread::Control* current_control = nullptr;

class ThreadHandle : public WaitableObject {
 public:
  explicit ThreadHandle(std::shared_ptr<State> state) : WaitableObject(std::move(state)) {}
};

// The Linux part of the control block: the end signal, and the system thread's own end, which the
// destructor waits for.
struct PosixThreadControl : Thread::Control {
  PosixThreadControl() { id = NewThreadId(); }

  const std::shared_ptr<posix::ThreadEndState> end_state = std::make_shared<posix::ThreadEndState>();
  std::condition_variable system_done_changed;
  bool system_done = false;  // under mutex: the system thread has finished with this object
};

PosixThreadControl& Posix(Thread::Control& control) {
  return static_cast<PosixThreadControl&>(control);
}

}  // namespace

uint32_t GetCurrentThreadId() {
  if (current_thread_id == 0) current_thread_id = NewThreadId();
  return current_thread_id;
}

bool CurrentThreadAbandoned() {
  return current_control != nullptr && current_control->abandoned.load(std::memory_order_acquire);
}

Thread::Thread()
    : control_(std::make_shared<PosixThreadControl>()),
      handle_(std::make_unique<ThreadHandle>(Posix(*control_).end_state)) {}

Thread::~Thread() {
  // An object released by its own thread (after its body) does not wait for itself; one that was
  // given up is not waited for.
  PosixThreadControl& control = Posix(*control_);
  std::unique_lock<std::mutex> lock(control.mutex);
  if (!control.started || control.abandoned || current_control == &control) return;
  control.terminated = true;
  control.system_done_changed.wait(lock, [&control] { return control.system_done; });
}

void Thread::Run(std::shared_ptr<Control> control, Thread* thread) {
  current_thread_id = control->id;
  current_control = control.get();
  std::exception_ptr fatal;
  bool abandoned;
  {
    // Given up between Resume and now: the owner may have released the object already.
    std::lock_guard<std::mutex> lock(control->mutex);
    abandoned = control->abandoned;
  }
  if (!abandoned) {
    try {
      thread->Execute();
    } catch (...) {
      fatal = std::current_exception();
    }
  }
  {
    std::lock_guard<std::mutex> lock(control->mutex);
    abandoned = control->abandoned;
    if (!abandoned) {
      control->body_done = true;
      control->fatal_exception = fatal;
    }
  }
  if (!abandoned) {
    control->finished = true;
    try {
      thread->DoTerminate();
    } catch (...) {
    }
  }
  posix::EndThreadMessaging();
  std::unique_ptr<Thread> owned = control->TakeObjectToRelease();
  Posix(*control).end_state->Signal();
  owned.reset();
  // The release may have opened a queue or made windows anew; they go now, under this thread's
  // identifier, as they went at the end of a system thread of its own.
  posix::EndThreadMessaging();
}

void Thread::Resume() {
  std::lock_guard<std::mutex> lock(control_->mutex);
  if (control_->started || control_->abandoned) return;
  control_->started = true;  // before the body can ask Suspended()
  try {
    posix::RunOnSystemThread([control = control_, thread = this] {
      Run(control, thread);
      current_thread_id = 0;
      current_control = nullptr;
      PosixThreadControl& posix_control = Posix(*control);
      {
        std::lock_guard<std::mutex> done_lock(posix_control.mutex);
        posix_control.system_done = true;
      }
      posix_control.system_done_changed.notify_all();
    });
  } catch (...) {
    control_->started = false;
    throw;
  }
}

void Thread::Abandon() {
  Control& control = *control_;
  {
    std::lock_guard<std::mutex> lock(control.mutex);
    if (control.abandoned || control.body_done) return;
    if (control.started && current_control == &control) return;
    control.abandoned = true;
    control.finished = true;
  }
  if (control.started) posix::AbandonThreadMessaging(control.id);
  Posix(control).end_state->Signal();
}

}  // namespace qv::platform
