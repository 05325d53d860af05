// The stop requests are the console's control events: the handler, called on a thread the system
// makes for it, signals an event that Wait waits for.
#include <atomic>

#include "platform/errors/exception.h"
#include "platform/process/stop_request.h"

#include "platform/os/unique_handle_win32.h"
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
  win32::UniqueHandle event;
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
  state_->event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!state_->event) throw EWin32Error("CreateEvent failed", ::GetLastError());
  requested_event.store(state_->event.get());
  ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopRequest::~StopRequest() {
  ::SetConsoleCtrlHandler(OnControlEvent, FALSE);
  requested_event.store(nullptr);
}

void StopRequest::Wait() {
  ::WaitForSingleObject(state_->event.get(), INFINITE);
}

}  // namespace qv::platform
