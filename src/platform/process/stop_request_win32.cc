// The stop requests are the console's control events: the handler, called on a thread the system
// makes for it, signals an event that Wait waits for.
#include <atomic>

#include "platform/errors/exception.h"
#include "platform/process/stop_request.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

std::atomic<HANDLE> requested_event{nullptr};

BOOL WINAPI OnControlEvent(DWORD) {
  const HANDLE event = requested_event.load();
  if (event == nullptr) return FALSE;
  ::SetEvent(event);
  return TRUE;
}

}  // namespace

struct StopRequest::State {
  HANDLE event = nullptr;
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
  state_->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (state_->event == nullptr) throw EWin32Error("CreateEvent failed", ::GetLastError());
  requested_event.store(state_->event);
  ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopRequest::~StopRequest() {
  ::SetConsoleCtrlHandler(OnControlEvent, FALSE);
  requested_event.store(nullptr);
  ::CloseHandle(state_->event);
}

void StopRequest::Wait() {
  ::WaitForSingleObject(state_->event, INFINITE);
}

}  // namespace qv::platform
