// What the thread object does the same way on every platform: its flags, the return value and
// escaped exception, the end notification, and handing an object over to its own thread.
#include "platform/threads/thread.h"

#include "platform/threads/thread_control.h"

namespace qv::platform {

void Thread::Terminate() {
  control_->terminated = true;
}

uint32_t Thread::WaitFor() {
  WaitForSingleObject(*handle_, INFINITE);
  return control_->return_value;
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
    const std::lock_guard<std::mutex> lock(control_->mutex);
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
  const std::lock_guard<std::mutex> lock(control_->mutex);
  return control_->fatal_exception;
}

void Thread::DoTerminate() {
  if (OnTerminate) OnTerminate(*this);
}

void Thread::SetReturnValue(uint32_t value) {
  control_->return_value = value;
}

}  // namespace qv::platform
