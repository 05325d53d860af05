// The service process's side over the system's control dispatcher (StartServiceCtrlDispatcherW,
// RegisterServiceCtrlHandlerExW, SetServiceStatus). The system calls plain functions; these forward to
// the service's main function and handler, which the running dispatcher keeps. The system's
// dispatcher returns once the service has reported SERVICE_STOPPED, so ours also waits for the main
// function to return, and a main function that returns without reporting SERVICE_STOPPED is reported
// stopped with ERROR_PROCESS_ABORTED (the system would otherwise keep the process waiting for ever).
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/errors/system_error.h"
#include "platform/services/service_dispatcher.h"
#include "platform/text/text_compare.h"
#include "platform/text/wide_text_win32.h"

#include "platform/services/windows_services_api_win32.h"

namespace qv::platform {

namespace {

// The one service the running dispatcher runs.
struct RunningService {
  std::string name;
  ServiceMainFunction main;

  std::mutex mutex;
  std::condition_variable main_returned_changed;
  HandlerFunctionEx handler;
  ::SERVICE_STATUS_HANDLE status_handle = nullptr;
  DWORD last_state = 0;
  bool main_started = false;
  bool main_returned = false;
};

std::atomic<bool> dispatcher_runs{false};
std::mutex running_mutex;
RunningService* running = nullptr;  // set while StartServiceCtrlDispatcher runs

DWORD WINAPI HandlerEntry(DWORD control, DWORD event_type, void* event_data, void* context) {
  (void)event_data;
  auto& service = *static_cast<RunningService*>(context);
  HandlerFunctionEx handler;
  {
    const std::lock_guard lock(service.mutex);
    handler = service.handler;
  }
  if (!handler) return ERROR_CALL_NOT_IMPLEMENTED;
  try {
    return handler(control, event_type);
  } catch (...) {
    return ERROR_EXCEPTION_IN_SERVICE;
  }
}

// Tells the system that the service has ended without saying so itself.
void ReportAbortedIfRunning(RunningService& service) {
  ::SERVICE_STATUS_HANDLE handle;
  {
    const std::lock_guard lock(service.mutex);
    if (service.last_state == SERVICE_STOPPED) return;
    handle = service.status_handle;
  }
  if (handle == nullptr) {
    // The main function never registered: register for it, or the system cannot hear the end.
    handle = ::RegisterServiceCtrlHandlerExW(win32::Wide(service.name).c_str(), HandlerEntry, &service);
    if (handle == nullptr) return;
  }
  ::SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = SERVICE_STOPPED;
  status.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
  ::SetServiceStatus(handle, &status);
  const std::lock_guard lock(service.mutex);
  service.last_state = SERVICE_STOPPED;
}

void WINAPI ServiceMainEntry(DWORD argument_count, wchar_t** arguments) {
  RunningService* service;
  {
    const std::lock_guard lock(running_mutex);
    service = running;
  }
  {
    const std::lock_guard lock(service->mutex);
    service->main_started = true;
  }
  std::vector<std::string> texts;
  for (DWORD i = 0; i < argument_count; ++i) texts.push_back(win32::Narrow(arguments[i]));
  if (texts.empty()) texts.push_back(service->name);
  try {
    service->main(texts);
  } catch (...) {
    // Ends as a main function that returned without stopping.
  }
  ReportAbortedIfRunning(*service);
  const std::lock_guard lock(service->mutex);
  service->main_returned = true;
  service->main_returned_changed.notify_all();
}

}  // namespace

bool StartServiceCtrlDispatcher(const std::vector<SERVICE_TABLE_ENTRY>& table) {
  if (table.size() != 1 || table[0].lpServiceName.empty() || !table[0].lpServiceProc)
    return FailWith(ERROR_INVALID_PARAMETER);
  bool expected = false;
  if (!dispatcher_runs.compare_exchange_strong(expected, true)) return FailWith(ERROR_BUSY);
  RunningService service;
  service.name = table[0].lpServiceName;
  service.main = table[0].lpServiceProc;
  {
    const std::lock_guard lock(running_mutex);
    running = &service;
  }
  std::wstring name = win32::Wide(service.name);
  ::SERVICE_TABLE_ENTRYW entries[] = {{name.data(), ServiceMainEntry}, {nullptr, nullptr}};
  const BOOL dispatched = ::StartServiceCtrlDispatcherW(entries);
  const DWORD code = dispatched ? ERROR_SUCCESS : ::GetLastError();
  {
    // The system's dispatcher returns at SERVICE_STOPPED, which may come before the main function's end.
    std::unique_lock lock(service.mutex);
    service.main_returned_changed.wait(lock, [&] { return !service.main_started || service.main_returned; });
  }
  {
    const std::lock_guard lock(running_mutex);
    running = nullptr;
  }
  dispatcher_runs = false;
  return code == ERROR_SUCCESS || FailWith(code);
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerEx(const std::string& service_name,
                                                   HandlerFunctionEx handler) {
  RunningService* service;
  {
    const std::lock_guard lock(running_mutex);
    service = running;
  }
  if (service == nullptr || CompareTextIgnoreCase(service_name, service->name) != 0) {
    ::SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return SERVICE_STATUS_HANDLE{};
  }
  {
    const std::lock_guard lock(service->mutex);
    service->handler = std::move(handler);
  }
  const ::SERVICE_STATUS_HANDLE handle =
      ::RegisterServiceCtrlHandlerExW(win32::Wide(service->name).c_str(), HandlerEntry, service);
  if (handle == nullptr) return SERVICE_STATUS_HANDLE{};
  const std::lock_guard lock(service->mutex);
  service->status_handle = handle;
  return static_cast<SERVICE_STATUS_HANDLE>(reinterpret_cast<uintptr_t>(handle));
}

bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
  const auto system_handle = reinterpret_cast<::SERVICE_STATUS_HANDLE>(static_cast<uintptr_t>(handle));
  RunningService* service;
  {
    const std::lock_guard lock(running_mutex);
    service = running;
  }
  if (service == nullptr || system_handle == nullptr) return FailWith(ERROR_INVALID_HANDLE);
  {
    const std::lock_guard lock(service->mutex);
    if (service->status_handle != system_handle) return FailWith(ERROR_INVALID_HANDLE);
  }
  if (status.dwCurrentState < SERVICE_STOPPED || status.dwCurrentState > SERVICE_PAUSED)
    return FailWith(ERROR_INVALID_DATA);
  ::SERVICE_STATUS reported{};
  reported.dwServiceType = status.dwServiceType;
  reported.dwCurrentState = status.dwCurrentState;
  reported.dwControlsAccepted = status.dwControlsAccepted;
  reported.dwWin32ExitCode = status.dwWin32ExitCode;
  reported.dwServiceSpecificExitCode = status.dwServiceSpecificExitCode;
  reported.dwCheckPoint = status.dwCheckPoint;
  reported.dwWaitHint = status.dwWaitHint;
  {
    // Recorded first: once the system has the stop, the dispatcher may return at any moment.
    const std::lock_guard lock(service->mutex);
    service->last_state = status.dwCurrentState;
  }
  return ::SetServiceStatus(system_handle, &reported) != FALSE;
}

bool SetServiceStatusText(SERVICE_STATUS_HANDLE handle, const std::string& text) {
  (void)text;  // The service control manager keeps no status text.
  const std::lock_guard lock(running_mutex);
  if (running == nullptr || handle == SERVICE_STATUS_HANDLE{}) return FailWith(ERROR_INVALID_HANDLE);
  return true;
}

}  // namespace qv::platform
