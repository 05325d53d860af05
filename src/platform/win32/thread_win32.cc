// Threads of the system: each thread object makes its thread suspended at once (so its identifier is
// the system's from the start) and resumes it on Resume; a thread object destroyed before it was
// resumed lets its thread end without running the body. Abandon ends the thread with TerminateThread.
//
// The waitable handle is an event that the thread sets once its body, its end notification and its
// windows are done, before it releases a handed-over object: the object's own destructor may then
// wait for it on that very thread, as it may on Linux. (The system's thread handle is signalled only
// after the thread has left, which a wait on the thread itself would never see.)
#include <process.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/exception.h"
#include "platform/thread.h"
#include "platform/win32/thread_windows.h"
#include "platform/win_error.h"

#include "platform/win32/waitable_state_win32.h"

namespace qv::platform {

namespace {

thread_local Thread::Control* current_control = nullptr;

class ThreadHandle : public WaitableObject {
 public:
  explicit ThreadHandle(std::shared_ptr<State> state) : WaitableObject(std::move(state)) {}
};

}  // namespace

struct Thread::Control {
  Control() : ended(std::make_shared<WaitableObject::State>(::CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  ~Control() {
    if (system_thread != nullptr) ::CloseHandle(system_thread);
  }
  void SignalEnd() const { ::SetEvent(ended->handle); }

  uint32_t id = 0;
  Thread* thread = nullptr;
  HANDLE system_thread = nullptr;
  const std::shared_ptr<WaitableObject::State> ended;  // the waitable handle: set when the thread has ended

  std::atomic<bool> terminated{false};
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  std::atomic<bool> abandoned{false};
  std::atomic<bool> free_when_ended{false};
  std::atomic<uint32_t> return_value{0};

  std::mutex mutex;        // guards the members below
  bool cancelled = false;  // the object went before its thread was resumed: end without the body
  bool body_done = false;  // the body ended normally; Abandon no longer applies
  bool past_release = false;
  std::unique_ptr<Thread> self_owner;
  std::exception_ptr fatal_exception;
};

uint32_t GetCurrentThreadId() {
  return ::GetCurrentThreadId();
}

bool CurrentThreadAbandoned() {
  return current_control != nullptr && current_control->abandoned.load(std::memory_order_acquire);
}

Thread::Thread() : control_(std::make_shared<Control>()) {
  control_->thread = this;
  // The new thread takes over this reference to the control block.
  auto start_argument = std::make_unique<std::shared_ptr<Control>>(control_);
  unsigned (*start)(void*) = [](void* argument) -> unsigned {
    const std::unique_ptr<std::shared_ptr<Control>> taken(static_cast<std::shared_ptr<Control>*>(argument));
    std::shared_ptr<Control> control = std::move(*taken);
    Thread* thread;
    {
      std::lock_guard<std::mutex> lock(control->mutex);
      if (control->cancelled) return 0;
      thread = control->thread;
    }
    Run(control, thread);
    return 0;
  };
  unsigned id = 0;
  const uintptr_t made = _beginthreadex(nullptr, 0, start, start_argument.get(), CREATE_SUSPENDED, &id);
  if (made == 0) {
    const DWORD code = ::GetLastError() != 0 ? ::GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
    std::string text;
    FormatSystemMessage(code, &text);
    throw EWin32Error("Cannot create a thread: " + text, code);
  }
  start_argument.release();  // the thread owns it now
  control_->id = id;
  control_->system_thread = reinterpret_cast<HANDLE>(made);
  if (control_->ended->handle == nullptr)
    throw EWin32Error("Cannot create a thread's handle", ::GetLastError());
  handle_ = std::make_unique<ThreadHandle>(control_->ended);
}

Thread::~Thread() {
  Control& control = *control_;
  bool wait = false;
  bool release_unstarted = false;
  {
    std::lock_guard<std::mutex> lock(control.mutex);
    if (!control.started && !control.abandoned) {
      control.cancelled = true;
      release_unstarted = true;
    } else if (control.started && !control.abandoned && control.id != ::GetCurrentThreadId()) {
      wait = true;  // on its own thread the object is being released after the body has ended
    }
  }
  if (release_unstarted) ::ResumeThread(control.system_thread);  // it ends at once
  if (wait) {
    control.terminated = true;
    ::WaitForSingleObject(control.ended->handle, INFINITE);
  }
}

void Thread::Run(std::shared_ptr<Control> control, Thread* thread) {
  current_control = control.get();
  std::exception_ptr fatal;
  try {
    thread->Execute();
  } catch (...) {
    fatal = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(control->mutex);
    control->body_done = true;
    control->fatal_exception = fatal;
  }
  control->finished = true;
  try {
    thread->DoTerminate();
  } catch (...) {
  }
  win32::DestroyThreadWindows();
  std::unique_ptr<Thread> owned;
  {
    std::lock_guard<std::mutex> lock(control->mutex);
    control->past_release = true;
    if (control->free_when_ended) owned = std::move(control->self_owner);
  }
  control->SignalEnd();
  owned.reset();
  current_control = nullptr;
}

void Thread::Resume() {
  {
    std::lock_guard<std::mutex> lock(control_->mutex);
    if (control_->started || control_->abandoned) return;
    control_->started = true;
  }
  ::ResumeThread(control_->system_thread);
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
    if (control.started && control.id == ::GetCurrentThreadId()) return;
    control.abandoned = true;
    control.finished = true;
  }
  // The system destroys the thread's windows and answers what was sent to them. The thread is
  // waited for until it has gone, so that the object counts as ended.
  ::TerminateThread(control.system_thread, ERROR_OPERATION_ABORTED);
  ::WaitForSingleObject(control.system_thread, INFINITE);
  control.SignalEnd();
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
