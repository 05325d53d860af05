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

#include "platform/errors/exception.h"
#include "platform/errors/system_error.h"
#include "platform/threads/thread.h"
#include "platform/threads/thread_control.h"
#include "platform/threads/thread_windows_win32.h"

#include "platform/threads/waitable_state_win32.h"

namespace qv::platform {

namespace {

thread_local Thread::Control* current_control = nullptr;

class ThreadHandle : public WaitableObject {
 public:
  explicit ThreadHandle(std::shared_ptr<State> state) : WaitableObject(std::move(state)) {}
};

// The Windows part of the control block: the system thread, made suspended, and the end signal.
struct WindowsThreadControl : Thread::Control {
  WindowsThreadControl()
      : ended(std::make_shared<WaitableObject::State>(::CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}
  WindowsThreadControl(const WindowsThreadControl&) = delete;
  WindowsThreadControl& operator=(const WindowsThreadControl&) = delete;
  void SignalEnd() const { ::SetEvent(ended->handle.get()); }

  Thread* thread = nullptr;
  win32::UniqueHandle system_thread;
  const std::shared_ptr<WaitableObject::State> ended;  // the waitable handle: set when the thread has ended
  bool cancelled = false;  // under mutex: the object went before its thread was resumed, so no body
};

WindowsThreadControl& Windows(Thread::Control& control) {
  return static_cast<WindowsThreadControl&>(control);
}

}  // namespace

uint32_t GetCurrentThreadId() {
  return ::GetCurrentThreadId();
}

bool CurrentThreadAbandoned() {
  return current_control != nullptr && current_control->abandoned.load(std::memory_order_acquire);
}

Thread::Thread() : control_(std::make_shared<WindowsThreadControl>()) {
  WindowsThreadControl& control = Windows(*control_);
  control.thread = this;
  // The new thread takes over this reference to the control block.
  auto start_argument = std::make_unique<std::shared_ptr<Control>>(control_);
  unsigned (*start)(void*) = [](void* argument) -> unsigned {
    const std::unique_ptr<std::shared_ptr<Control>> taken(static_cast<std::shared_ptr<Control>*>(argument));
    std::shared_ptr<Control> shared = std::move(*taken);
    Thread* thread;
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (Windows(*shared).cancelled) return 0;
      thread = Windows(*shared).thread;
    }
    Run(shared, thread);
    return 0;
  };
  unsigned id = 0;
  const uintptr_t made = _beginthreadex(nullptr, 0, start, start_argument.get(), CREATE_SUSPENDED, &id);
  if (made == 0)
    RaiseSystemError("Cannot create a thread",
                     ::GetLastError() != 0 ? ::GetLastError() : ERROR_NOT_ENOUGH_MEMORY);
  start_argument.release();  // the thread owns it now
  control.id = id;
  control.system_thread.reset(reinterpret_cast<HANDLE>(made));
  if (!control.ended->handle) throw EWin32Error("Cannot create a thread's handle", ::GetLastError());
  handle_ = std::make_unique<ThreadHandle>(control.ended);
}

Thread::~Thread() {
  WindowsThreadControl& control = Windows(*control_);
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
  if (release_unstarted) ::ResumeThread(control.system_thread.get());  // it ends at once
  if (wait) {
    control.terminated = true;
    ::WaitForSingleObject(control.ended->handle.get(), INFINITE);
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
  std::unique_ptr<Thread> owned = control->TakeObjectToRelease();
  Windows(*control).SignalEnd();
  owned.reset();
  current_control = nullptr;
}

void Thread::Resume() {
  {
    std::lock_guard<std::mutex> lock(control_->mutex);
    if (control_->started || control_->abandoned) return;
    control_->started = true;
  }
  ::ResumeThread(Windows(*control_).system_thread.get());
}

void Thread::Abandon() {
  WindowsThreadControl& control = Windows(*control_);
  {
    std::lock_guard<std::mutex> lock(control.mutex);
    if (control.abandoned || control.body_done) return;
    if (control.started && control.id == ::GetCurrentThreadId()) return;
    control.abandoned = true;
    control.finished = true;
  }
  // The system destroys the thread's windows and answers what was sent to them. The thread is
  // waited for until it has gone, so that the object counts as ended.
  ::TerminateThread(control.system_thread.get(), ERROR_OPERATION_ABORTED);
  ::WaitForSingleObject(control.system_thread.get(), INFINITE);
  control.SignalEnd();
}

}  // namespace qv::platform
