#include "service/service.h"

#include <exception>
#include <iostream>

#include "platform/errors/win_error.h"
#include "platform/event_log/event_log.h"

namespace qv {

namespace {

using namespace platform;

bool IsPending(uint32_t state) {
  return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_PAUSE_PENDING ||
         state == SERVICE_CONTINUE_PENDING;
}

uint32_t PendingStateOf(uint32_t control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_STOP_PENDING;
    case SERVICE_CONTROL_PAUSE:
      return SERVICE_PAUSE_PENDING;
    default:
      return SERVICE_CONTINUE_PENDING;
  }
}

}  // namespace

TService::TService(std::string name) : Name(std::move(name)) {}

TService::~TService() = default;

uint32_t TService::Status() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void TService::ReportStatus() {
  std::lock_guard lock(mutex_);
  if (status_handle_ != SERVICE_STATUS_HANDLE{}) ReportLocked(state_);
}

void TService::ReportStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (status_handle_ != SERVICE_STATUS_HANDLE{}) SetServiceStatusText(status_handle_, text);
}

void TService::LogMessage(const std::string& message, uint16_t type) {
  std::cerr << (DisplayName.empty() ? Name : DisplayName) << ": " << message << std::endl;
  const HEVENTLOG source = RegisterEventSource("", Name);
  if (source == HEVENTLOG{}) return;
  const char* const strings[] = {message.c_str()};
  ReportEvent(source, type, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

bool TService::EndedCleanly() const {
  std::lock_guard lock(mutex_);
  return ran_ && state_ == SERVICE_STOPPED && Win32ErrCode == ERROR_SUCCESS && ErrCode == 0;
}

bool TService::Applies(uint32_t control, uint32_t state) const {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return AllowStop && (state == SERVICE_RUNNING || state == SERVICE_PAUSED);
    case SERVICE_CONTROL_PAUSE:
      return AllowPause && state == SERVICE_RUNNING;
    case SERVICE_CONTROL_CONTINUE:
      return AllowPause && state == SERVICE_PAUSED;
    case SERVICE_CONTROL_SHUTDOWN:
      return state == SERVICE_RUNNING || state == SERVICE_PAUSED;
    case SERVICE_CONTROL_PARAMCHANGE:
      return OnParamChange && (state == SERVICE_RUNNING || state == SERVICE_PAUSED);
    default:
      return false;
  }
}

void TService::ReportLocked(uint32_t state) {
  state_ = state;
  SERVICE_STATUS status;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  if (state == SERVICE_RUNNING || state == SERVICE_PAUSED)
    status.dwControlsAccepted = (AllowStop ? SERVICE_ACCEPT_STOP : 0) |
                                (AllowPause ? SERVICE_ACCEPT_PAUSE_CONTINUE : 0) | SERVICE_ACCEPT_SHUTDOWN |
                                (OnParamChange ? SERVICE_ACCEPT_PARAMCHANGE : 0);
  if (IsPending(state)) {
    status.dwCheckPoint = ++checkpoint_;
    status.dwWaitHint = WaitHint;
  } else {
    checkpoint_ = 0;
  }
  if (state == SERVICE_STOPPED) {
    status.dwWin32ExitCode = Win32ErrCode != ERROR_SUCCESS ? Win32ErrCode
                             : ErrCode != 0                ? ERROR_SERVICE_SPECIFIC_ERROR
                                                           : ERROR_SUCCESS;
    status.dwServiceSpecificExitCode = ErrCode;
  }
  SetServiceStatus(status_handle_, status);
}

bool TService::RunHandler(const char* what, const std::function<void(bool&)>& handler) {
  bool succeeded = true;
  try {
    handler(succeeded);
  } catch (const std::exception& error) {
    const std::string message = std::string("Service failed on ") + what + ": " + error.what();
    LogMessage(message);
    ReportStatusText(message);
    return false;
  }
  return succeeded;
}

void TService::Main(const std::vector<std::string>& arguments) {
  (void)arguments;
  {
    std::lock_guard lock(mutex_);
    status_handle_ = RegisterServiceCtrlHandlerEx(
        Name, [this](uint32_t control, uint32_t) { return Controller(control); });
    if (status_handle_ == SERVICE_STATUS_HANDLE{}) return;
    ReportLocked(SERVICE_START_PENDING);
  }
  bool raised = false;
  const bool started = RunHandler("start", [this, &raised](bool& Started) {
    try {
      if (OnStart) OnStart(*this, Started);
    } catch (...) {
      raised = true;
      throw;
    }
  });
  std::unique_lock lock(mutex_);
  if (!started) {
    if (Win32ErrCode == ERROR_SUCCESS && ErrCode == 0) {
      Win32ErrCode = raised ? ERROR_EXCEPTION_IN_SERVICE : ERROR_SERVICE_SPECIFIC_ERROR;
      ErrCode = raised ? 0 : 1;
    }
    ended_ = true;
    ReportLocked(SERVICE_STOPPED);
    return;
  }
  ran_ = true;
  ReportLocked(SERVICE_RUNNING);
  while (!ended_) {
    idle_ = true;
    controls_arrived_.wait(lock, [this] { return !queue_.empty(); });
    idle_ = false;
    const QueuedControl next = queue_.front();
    queue_.pop_front();
    lock.unlock();
    Handle(next);
    lock.lock();
  }
}

uint32_t TService::Controller(uint32_t control) {
  std::lock_guard lock(mutex_);
  if (ended_) return ERROR_SUCCESS;
  if (control == SERVICE_CONTROL_INTERROGATE) {
    ReportLocked(state_);
    return ERROR_SUCCESS;
  }
  if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_PAUSE &&
      control != SERVICE_CONTROL_CONTINUE && control != SERVICE_CONTROL_SHUTDOWN &&
      control != SERVICE_CONTROL_PARAMCHANGE)
    return ERROR_CALL_NOT_IMPLEMENTED;
  // A control the service thread can take at once shows its pending state before the controller
  // hears back; one that has to wait shows it when its turn comes.
  QueuedControl queued{control, false, state_};
  if (idle_ && queue_.empty() && control != SERVICE_CONTROL_SHUTDOWN &&
      control != SERVICE_CONTROL_PARAMCHANGE && Applies(control, state_)) {
    ReportLocked(PendingStateOf(control));
    queued.pending_reported = true;
  }
  queue_.push_back(queued);
  controls_arrived_.notify_one();
  return ERROR_SUCCESS;
}

void TService::Handle(const QueuedControl& queued) {
  const uint32_t control = queued.control;
  uint32_t previous = queued.previous;
  {
    std::lock_guard lock(mutex_);
    if (!queued.pending_reported) {
      previous = state_;
      if (!Applies(control, state_)) return;
      if (control == SERVICE_CONTROL_SHUTDOWN) {
        ended_ = true;
        ReportLocked(SERVICE_STOPPED);
        return;
      }
      if (control != SERVICE_CONTROL_PARAMCHANGE) ReportLocked(PendingStateOf(control));
    }
  }
  if (control == SERVICE_CONTROL_PARAMCHANGE) {
    // No transition: the handler runs and the state stays as it was.
    try {
      OnParamChange(*this);
    } catch (const std::exception& error) {
      LogMessage(std::string("Service failed on a change of parameters: ") + error.what());
    }
    return;
  }
  bool succeeded = false;
  uint32_t next = previous;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      succeeded = RunHandler("stop", [this](bool& Stopped) {
        if (OnStop) OnStop(*this, Stopped);
      });
      next = SERVICE_STOPPED;
      break;
    case SERVICE_CONTROL_PAUSE:
      succeeded = RunHandler("pause", [this](bool& Paused) {
        if (OnPause) OnPause(*this, Paused);
      });
      next = SERVICE_PAUSED;
      break;
    case SERVICE_CONTROL_CONTINUE:
      succeeded = RunHandler("continue", [this](bool& Continued) {
        if (OnContinue) OnContinue(*this, Continued);
      });
      next = SERVICE_RUNNING;
      break;
  }
  std::lock_guard lock(mutex_);
  if (succeeded && next == SERVICE_STOPPED) ended_ = true;
  ReportLocked(succeeded ? next : previous);
}

}  // namespace qv
