#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/posix/message_state_posix.h"
#include "platform/posix/system_threads_posix.h"
#include "platform/posix/waitable_state_posix.h"
#include "platform/thread.h"

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

}  // namespace

struct Thread::Control {
  const uint32_t id = NewThreadId();
  const std::shared_ptr<posix::ThreadEndState> end_state = std::make_shared<posix::ThreadEndState>();

  std::atomic<bool> terminated{false};
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  std::atomic<bool> abandoned{false};
  std::atomic<bool> free_when_ended{false};
  std::atomic<uint32_t> return_value{0};

  std::mutex mutex;  // guards the members below
  std::condition_variable system_done_changed;
  bool system_done = false;   // the system thread has finished with this object (its "thread end")
  bool body_done = false;     // the body ended normally; Abandon no longer applies
  bool past_release = false;  // the ending thread has looked for a handed-over object
  std::unique_ptr<Thread> self_owner;
  std::exception_ptr fatal_exception;
};

uint32_t GetCurrentThreadId() {
  if (current_thread_id == 0) current_thread_id = NewThreadId();
  return current_thread_id;
}

bool CurrentThreadAbandoned() {
  return current_control != nullptr && current_control->abandoned.load(std::memory_order_acquire);
}

Thread::Thread()
    : control_(std::make_shared<Control>()), handle_(std::make_unique<ThreadHandle>(control_->end_state)) {}

Thread::~Thread() {
  // An object released by its own thread (after its body) does not wait for itself; one that was
  // given up is not waited for.
  Control& control = *control_;
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
  std::unique_ptr<Thread> owned;
  {
    std::lock_guard<std::mutex> lock(control->mutex);
    control->past_release = true;
    if (control->free_when_ended) owned = std::move(control->self_owner);
  }
  control->end_state->Signal();
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
      {
        std::lock_guard<std::mutex> done_lock(control->mutex);
        control->system_done = true;
      }
      control->system_done_changed.notify_all();
    });
  } catch (...) {
    control_->started = false;
    throw;
  }
}

void Thread::Terminate() {
  control_->terminated = true;
}

uint32_t Thread::WaitFor() {
  WaitForSingleObject(*handle_, INFINITE);
  return control_->return_value;
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
  control.end_state->Signal();
}

bool Thread::Terminated() const {
  return control_->terminated;
}
bool Thread::Suspended() const {
  return !control_->started && !control_->abandoned;
}
bool Thread::Finished() const {
  return control_->finished;
}
bool Thread::FreeWhenEnded() const {
  return control_->free_when_ended;
}
void Thread::SetFreeWhenEnded(bool value) {
  control_->free_when_ended = value;
}

void Thread::HandOver(std::unique_ptr<Thread> thread) {
  Control& control = *thread->control_;
  std::unique_lock<std::mutex> lock(control.mutex);
  if (control.past_release || control.abandoned) {
    // Its thread has already looked for an owner to release (or will never run again).
    if (!control.free_when_ended) {
      control.self_owner = std::move(thread);
      return;
    }
    lock.unlock();
    thread.reset();
    return;
  }
  control.self_owner = std::move(thread);
}

bool Thread::ReleaseHandedOver() {
  std::unique_ptr<Thread> owned;
  {
    std::lock_guard<std::mutex> lock(control_->mutex);
    if (!control_->free_when_ended || !control_->self_owner) return false;
    owned = std::move(control_->self_owner);
  }
  owned.reset();  // this object is gone from here on
  return true;
}

const WaitableObject& Thread::Handle() const {
  return *handle_;
}
uint32_t Thread::ThreadID() const {
  return control_->id;
}
uint32_t Thread::ReturnValue() const {
  return control_->return_value;
}

std::exception_ptr Thread::FatalException() const {
  std::lock_guard<std::mutex> lock(control_->mutex);
  return control_->fatal_exception;
}

void Thread::DoTerminate() {
  if (OnTerminate) OnTerminate(*this);
}

void Thread::SetReturnValue(uint32_t value) {
  control_->return_value = value;
}

}  // namespace qv::platform
