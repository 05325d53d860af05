#include "itc/itc_worker_thread.h"

#include "itc/guarded_handler_call.h"
#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"

namespace qv {

TVeskItcThread::TVeskItcThread(const std::string& name, bool create_suspended)
    : Itc_(name.empty() ? std::make_unique<TVeskItc>() : std::make_unique<TVeskItc>(name)) {
  Itc_->OnMessage = [this](TVeskItc&, const std::string& sender_name, const void* data, uint32_t size) {
    DoMessage(sender_name, data, size);
  };
  Itc_->OnConnectEvent = [this](TVeskItc&, const std::string& endpoint_name, TenItcEventType type) {
    DoConnectEvent(endpoint_name, type);
  };
  Itc_->OnWindowMessage = [this](TVeskItc&, const platform::Msg& message, bool& handled) {
    DoWindowMessage(message, handled);
  };
  Itc_->OnException = [this](TVeskItc&, const Exception&) { HandleException(); };
  if (!create_suspended) Resume();
}

TVeskItcThread::~TVeskItcThread() {
  // Skipped when the worker never started, has ended, or is being released by its own thread.
  const bool on_own_thread = ThreadID() == platform::GetCurrentThreadId();
  if (!Suspended() && !Finished() && !on_own_thread && !Terminated()) {
    Terminate();
    if (!WaitForTimeout(kStopTimeoutMs)) Kill(false);
  }
  // A body that has ended may still be in its end-of-thread notification; the endpoint stays until
  // the thread is quite done with it.
  if (!Suspended() && !on_own_thread) platform::WaitForSingleObject(Handle(), platform::INFINITE);
  {
    platform::CriticalSectionLock lock(start_lock_);
    StartSignal.reset();
  }
  Itc_.reset();
}

bool TVeskItcThread::StartAndWait() {
  if (!Suspended()) return true;
  platform::Event* signal;
  {
    platform::CriticalSectionLock lock(start_lock_);
    StartSignal = std::make_unique<platform::Event>(/*manual_reset=*/true, /*initially_signaled=*/false);
    signal = StartSignal.get();
  }
  Resume();
  const bool signaled =
      platform::WaitForSingleObject(*signal, kStartTimeoutMs) == platform::WaitResult::kSignaled;
  {
    // A worker that signals later finds no signal and skips it.
    platform::CriticalSectionLock lock(start_lock_);
    StartSignal.reset();
  }
  return signaled;
}

void TVeskItcThread::SignalStart() {
  platform::CriticalSectionLock lock(start_lock_);
  if (StartSignal) StartSignal->Set();
}

void TVeskItcThread::SendTo(const std::string& destination, const void* data, uint32_t size) {
  Itc_->SendTo(destination, data, size);
}

void TVeskItcThread::SendToSelf(const void* data, uint32_t size) {
  Itc_->SendTo(Itc_->Name(), data, size);
}

void TVeskItcThread::Terminate() {
  platform::Thread::Terminate();
  if (Itc_) {
    const platform::WindowHandle window = Itc_->Window();
    // The wake-up reaches the loop, which then sees Terminated; whether it arrives is not looked at.
    if (window != 0) platform::PostMessage(window, ItcMessageId(), ieTerminate, 0);
  }
}

bool TVeskItcThread::WaitForTimeout(uint32_t limit_ms) {
  const uint32_t start = platform::GetTickCount();
  const uint32_t disconnect_id = ItcDisconnectMessageId();
  for (;;) {
    const platform::WaitResult result = platform::WaitForSingleObject(Handle(), 1);
    if (result == platform::WaitResult::kTimedOut) {
      // Looking into the queue also answers what other threads send to this thread's windows, such
      // as the disconnect request of an endpoint that this thread owns.
      platform::Msg msg;
      if (platform::PeekMessage(&msg, 0, disconnect_id, disconnect_id, platform::PM_REMOVE)) {
        platform::TranslateMessage(&msg);
        platform::DispatchMessage(&msg);
      }
    }
    if (result == platform::WaitResult::kSignaled) return true;
    const uint32_t elapsed = platform::GetTickCount() - start;  // modulo 2^32
    if (elapsed > limit_ms) return false;
  }
}

void TVeskItcThread::Kill(bool free_it) {
  Abandon();
  if (!Itc_) return;
  try {
    Itc_->Disconnect();
  } catch (...) {
    // The forced end goes on whatever the endpoint says.
  }
  if (free_it && FreeWhenEnded()) ReleaseHandedOver();  // this object may be gone from here on
}

void TVeskItcThread::Execute() {
  try {
    std::string name = Itc_->Name();
    if (OnBeforeConnect) OnBeforeConnect(*this, name);
    Itc_->ConnectAs(name);  // the endpoint's window belongs to this thread from here on
  } catch (...) {
    HandleException();
    SignalStart();
    return;
  }
  SignalStart();
  DoStart();
  platform::Msg msg;
  // Terminate before the window existed could post no wake-up; the flag was set before it looked.
  for (bool stop = Terminated(); !stop;) {
    platform::SetLastError(0);
    const int retrieved = platform::GetMessage(&msg, 0, 0, 0);
    // A thread given up by its owner leaves without touching this object again.
    if (platform::CurrentThreadAbandoned()) return;
    if (retrieved <= 0) break;  // the quit message (or a queue that is gone)
    try {
      platform::TranslateMessage(&msg);
      platform::DispatchMessage(&msg);
    } catch (...) {
      if (platform::CurrentThreadAbandoned()) return;
      HandleException();
    }
    if (platform::CurrentThreadAbandoned()) return;
    stop = Terminated();
  }
  DoStop();
  try {
    Itc_->Disconnect();
  } catch (...) {
    // The worker ends whatever the endpoint says.
  }
}

void TVeskItcThread::DoStart() {
  CallGuarded(
      OnStart, [this] { HandleException(); }, *this);
}

void TVeskItcThread::DoStop() {
  CallGuarded(
      OnStop, [this] { HandleException(); }, *this);
}

void TVeskItcThread::DoConnectEvent(const std::string& name, TenItcEventType type) {
  CallGuarded(
      OnConnectEvent, [this] { HandleException(); }, *this, name, type);
}

void TVeskItcThread::DoWindowMessage(const platform::Msg& message, bool& handled) {
  CallGuarded(
      OnWindowMessage, [this] { HandleException(); }, *this, message, handled);
}

void TVeskItcThread::DoMessage(const std::string& sender_name, const void* data, uint32_t size) {
  CallGuarded(
      OnMessage, [this] { HandleException(); }, *this, sender_name, data, size);
}

void TVeskItcThread::HandleException() {
  if (platform::CurrentThreadAbandoned()) return;
  DeliverCurrentException(OnException, *Itc_);
}

}  // namespace qv
