// The service control manager's client calls over the system's own (OpenSCManagerW, CreateServiceW,
// StartServiceW, ControlService ...). The handles are the system's; its error codes pass through.
// What the interface adds: StartService waits until the service runs or has ended, and the parts of
// CreateService we do not support (groups, tags, dependencies, shared processes) are refused.
#include "platform/errors/system_error.h"
#include "platform/services/service_control.h"
#include "platform/text/wide_text_win32.h"

#include "platform/services/windows_services_api_win32.h"

namespace qv::platform {

namespace {

// How long a starting service may stay silent, and how often its progress is looked at.
constexpr DWORD kResponseTimeout = 30000;
constexpr DWORD kPollInterval = 50;

SC_HANDLE FailHandle(DWORD code) {
  ::SetLastError(code);
  return SC_HANDLE{};
}

SC_HANDLE FromSystem(::SC_HANDLE handle) {
  return static_cast<SC_HANDLE>(reinterpret_cast<uintptr_t>(handle));
}

::SC_HANDLE ToSystem(SC_HANDLE handle) {
  return reinterpret_cast<::SC_HANDLE>(static_cast<uintptr_t>(handle));
}

// Null for an empty text: the system's way of saying "the default".
const wchar_t* OrNull(const std::wstring& text) {
  return text.empty() ? nullptr : text.c_str();
}

// The fields ::SERVICE_STATUS and ::SERVICE_STATUS_PROCESS share, into ours.
template <class SystemStatus>
void CopyStatus(const SystemStatus& from, SERVICE_STATUS* to) {
  to->dwServiceType = from.dwServiceType;
  to->dwCurrentState = from.dwCurrentState;
  to->dwControlsAccepted = from.dwControlsAccepted;
  to->dwWin32ExitCode = from.dwWin32ExitCode;
  to->dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
  to->dwCheckPoint = from.dwCheckPoint;
  to->dwWaitHint = from.dwWaitHint;
}

// Waits until the service that the system has just started reports something other than start
// pending, following its announced progress. ERROR_SUCCESS once it runs (or has stopped without an
// error); the reason of a failed start otherwise.
DWORD WaitForStart(::SC_HANDLE service) {
  DWORD last_progress = ::GetTickCount();
  DWORD allowed = kResponseTimeout;
  DWORD last_checkpoint = 0;
  bool reported = false;
  for (;;) {
    ::SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed)) {
      // A handle without the right to query: the system has started it, that is all we can know.
      const DWORD code = ::GetLastError();
      return code == ERROR_ACCESS_DENIED ? ERROR_SUCCESS : code;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) return status.dwWin32ExitCode;
    if (status.dwCurrentState != SERVICE_START_PENDING) return ERROR_SUCCESS;
    if (!reported || status.dwCheckPoint != last_checkpoint) {
      reported = true;
      last_checkpoint = status.dwCheckPoint;
      last_progress = ::GetTickCount();
      allowed = status.dwWaitHint > kResponseTimeout ? status.dwWaitHint : kResponseTimeout;
    }
    if (::GetTickCount() - last_progress > allowed) return ERROR_SERVICE_REQUEST_TIMEOUT;
    ::Sleep(kPollInterval);
  }
}

}  // namespace

SC_HANDLE OpenSCManager(const std::string& machine_name, const std::string& database_name,
                        uint32_t desired_access) {
  const std::wstring machine = win32::Wide(machine_name);
  const std::wstring database = win32::Wide(database_name);
  return FromSystem(::OpenSCManagerW(OrNull(machine), OrNull(database), desired_access));
}

SC_HANDLE OpenService(SC_HANDLE manager, const std::string& service_name, uint32_t desired_access) {
  return FromSystem(::OpenServiceW(ToSystem(manager), win32::Wide(service_name).c_str(), desired_access));
}

SC_HANDLE CreateService(SC_HANDLE manager, const std::string& service_name, const std::string& display_name,
                        uint32_t desired_access, uint32_t service_type, uint32_t start_type,
                        uint32_t error_control, const std::string& binary_path_name,
                        const std::string& load_order_group, uint32_t* tag_id,
                        const std::string& dependencies, const std::string& service_start_name,
                        const std::string& password) {
  if ((service_type & ~SERVICE_INTERACTIVE_PROCESS) != SERVICE_WIN32_OWN_PROCESS ||
      !load_order_group.empty() || tag_id != nullptr || !dependencies.empty())
    return FailHandle(ERROR_INVALID_PARAMETER);
  const std::wstring account = win32::Wide(service_start_name);
  const std::wstring secret = win32::Wide(password);
  return FromSystem(::CreateServiceW(ToSystem(manager), win32::Wide(service_name).c_str(),
                                     win32::Wide(display_name).c_str(), desired_access, service_type,
                                     start_type, error_control, win32::Wide(binary_path_name).c_str(),
                                     nullptr, nullptr, nullptr, OrNull(account), OrNull(secret)));
}

bool DeleteService(SC_HANDLE service) {
  return ::DeleteService(ToSystem(service)) != FALSE;
}

bool StartService(SC_HANDLE service, uint32_t argument_count, const char* const* arguments) {
  (void)arguments;
  if (argument_count != 0) return FailWith(ERROR_INVALID_PARAMETER);
  if (!::StartServiceW(ToSystem(service), 0, nullptr)) return false;
  const DWORD code = WaitForStart(ToSystem(service));
  return code == ERROR_SUCCESS || FailWith(code);
}

bool ControlService(SC_HANDLE service, uint32_t control, SERVICE_STATUS* status) {
  ::SERVICE_STATUS reported{};
  const BOOL done = ::ControlService(ToSystem(service), control, &reported);
  if (status != nullptr) CopyStatus(reported, status);
  return done != FALSE;
}

bool QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  ::SERVICE_STATUS reported{};
  if (!::QueryServiceStatus(ToSystem(service), &reported)) return false;
  CopyStatus(reported, status);
  return true;
}

bool QueryServiceStatusEx(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
  ::SERVICE_STATUS_PROCESS reported{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(ToSystem(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&reported),
                              sizeof reported, &needed))
    return false;
  CopyStatus(reported, status);
  status->dwProcessId = reported.dwProcessId;
  status->dwServiceFlags = reported.dwServiceFlags;
  return true;
}

bool QueryServiceStatusText(SC_HANDLE service, std::string* text) {
  // The service control manager keeps no status text; the handle is checked as a query checks it.
  ::SERVICE_STATUS reported{};
  if (!::QueryServiceStatus(ToSystem(service), &reported)) return false;
  text->clear();
  return true;
}

bool CloseServiceHandle(SC_HANDLE handle) {
  return ::CloseServiceHandle(ToSystem(handle)) != FALSE;
}

}  // namespace qv::platform
