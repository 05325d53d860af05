// The service control manager, as its clients see it: open the manager and its services, create and
// delete service entries, start services, send them controls and query their state (OpenSCManager,
// CreateService, StartService, ControlService, QueryServiceStatus ...). Failures return false (or an
// empty handle) and set the thread's last error with the Windows code.
//
// On Linux the entries live in the registry under SYSTEM\CurrentControlSet\Services\<name>, a running
// service keeps its state in a status record of the platform state directory, and controls reach it
// as signals. Installed entries are also published to systemd as units. The details are told where
// they are done: platform/services/service_control_posix.cc (the calls), service_entry_posix.h (the entries),
// service_run_state_posix.h (the run folder and status record), service_launch_posix.h (starting a program under
// an account) and systemd_integration_posix.h (the units).
#pragma once

#include <cstdint>
#include <string>

namespace qv::platform {

// An open service control manager or service. Opaque; 0 is no handle.
enum class SC_HANDLE : uintptr_t {};

// Rights on the manager.
inline constexpr uint32_t SC_MANAGER_CONNECT = 0x0001;
inline constexpr uint32_t SC_MANAGER_CREATE_SERVICE = 0x0002;
inline constexpr uint32_t SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
inline constexpr uint32_t SC_MANAGER_LOCK = 0x0008;
inline constexpr uint32_t SC_MANAGER_QUERY_LOCK_STATUS = 0x0010;
inline constexpr uint32_t SC_MANAGER_MODIFY_BOOT_CONFIG = 0x0020;
inline constexpr uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;

// Rights on a service.
inline constexpr uint32_t SERVICE_QUERY_CONFIG = 0x0001;
inline constexpr uint32_t SERVICE_CHANGE_CONFIG = 0x0002;
inline constexpr uint32_t SERVICE_QUERY_STATUS = 0x0004;
inline constexpr uint32_t SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
inline constexpr uint32_t SERVICE_START = 0x0010;
inline constexpr uint32_t SERVICE_STOP = 0x0020;
inline constexpr uint32_t SERVICE_PAUSE_CONTINUE = 0x0040;
inline constexpr uint32_t SERVICE_INTERROGATE = 0x0080;
inline constexpr uint32_t SERVICE_USER_DEFINED_CONTROL = 0x0100;
inline constexpr uint32_t SERVICE_ALL_ACCESS = 0xF01FF;
inline constexpr uint32_t SERVICE_DELETE = 0x00010000;  // DELETE
inline constexpr uint32_t SERVICE_READ_CONTROL = 0x00020000;
inline constexpr uint32_t SERVICE_WRITE_DAC = 0x00040000;
inline constexpr uint32_t SERVICE_WRITE_OWNER = 0x00080000;

// Service types.
inline constexpr uint32_t SERVICE_KERNEL_DRIVER = 0x01;
inline constexpr uint32_t SERVICE_FILE_SYSTEM_DRIVER = 0x02;
inline constexpr uint32_t SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr uint32_t SERVICE_WIN32_SHARE_PROCESS = 0x20;
inline constexpr uint32_t SERVICE_INTERACTIVE_PROCESS = 0x100;

// Start types.
inline constexpr uint32_t SERVICE_BOOT_START = 0;
inline constexpr uint32_t SERVICE_SYSTEM_START = 1;
inline constexpr uint32_t SERVICE_AUTO_START = 2;
inline constexpr uint32_t SERVICE_DEMAND_START = 3;
inline constexpr uint32_t SERVICE_DISABLED = 4;

// Error control.
inline constexpr uint32_t SERVICE_ERROR_IGNORE = 0;
inline constexpr uint32_t SERVICE_ERROR_NORMAL = 1;
inline constexpr uint32_t SERVICE_ERROR_SEVERE = 2;
inline constexpr uint32_t SERVICE_ERROR_CRITICAL = 3;

// Current states.
inline constexpr uint32_t SERVICE_STOPPED = 1;
inline constexpr uint32_t SERVICE_START_PENDING = 2;
inline constexpr uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr uint32_t SERVICE_RUNNING = 4;
inline constexpr uint32_t SERVICE_CONTINUE_PENDING = 5;
inline constexpr uint32_t SERVICE_PAUSE_PENDING = 6;
inline constexpr uint32_t SERVICE_PAUSED = 7;

// Controls accepted.
inline constexpr uint32_t SERVICE_ACCEPT_STOP = 0x01;
inline constexpr uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 0x02;
inline constexpr uint32_t SERVICE_ACCEPT_SHUTDOWN = 0x04;
inline constexpr uint32_t SERVICE_ACCEPT_PARAMCHANGE = 0x08;

// Controls.
inline constexpr uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr uint32_t SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr uint32_t SERVICE_CONTROL_SHUTDOWN = 5;
inline constexpr uint32_t SERVICE_CONTROL_PARAMCHANGE = 6;

// The account a service runs under when its entry names none.
inline constexpr const char* kLocalSystemAccount = "LocalSystem";

struct SERVICE_STATUS {
  uint32_t dwServiceType = 0;
  uint32_t dwCurrentState = 0;
  uint32_t dwControlsAccepted = 0;
  uint32_t dwWin32ExitCode = 0;
  uint32_t dwServiceSpecificExitCode = 0;
  uint32_t dwCheckPoint = 0;
  uint32_t dwWaitHint = 0;
};

// The status with the service's process (QueryServiceStatusEx, SC_STATUS_PROCESS_INFO).
struct SERVICE_STATUS_PROCESS : SERVICE_STATUS {
  uint32_t dwProcessId = 0;  // 0 when the service does not run
  uint32_t dwServiceFlags = 0;
};

// The manager of a machine: an empty name (or this computer's name, with or without a leading "\\")
// is the local machine, any other fails with RPC_S_SERVER_UNAVAILABLE. The database is empty or
// "ServicesActive" (ERROR_DATABASE_DOES_NOT_EXIST otherwise). Rights that change the database
// (SC_MANAGER_CREATE_SERVICE, _LOCK, _MODIFY_BOOT_CONFIG) are refused with ERROR_ACCESS_DENIED to a
// process that may not write the registry.
SC_HANDLE OpenSCManager(const std::string& machine_name, const std::string& database_name,
                        uint32_t desired_access);

// A service by its name (compared without regard to case). ERROR_SERVICE_DOES_NOT_EXIST when there is
// no such entry; ERROR_ACCESS_DENIED for rights that change the entry (SERVICE_CHANGE_CONFIG, DELETE,
// WRITE_DAC, WRITE_OWNER) in a process that may not write the registry.
SC_HANDLE OpenService(SC_HANDLE manager, const std::string& service_name, uint32_t desired_access);

// Creates the entry of a service and returns it opened. Only services in their own process
// (SERVICE_WIN32_OWN_PROCESS) are supported; load-order groups, tags and dependencies are not
// (ERROR_INVALID_PARAMETER when given). The account is "LocalSystem" when empty; another account must
// name a user (ERROR_INVALID_SERVICE_ACCOUNT). The password is not kept. Fails with ERROR_SERVICE_EXISTS
// when an entry of the name exists (its values are left as they are), ERROR_SERVICE_MARKED_FOR_DELETE
// while an entry of the name waits for its running service to stop, ERROR_INVALID_NAME for an empty
// name, one longer than 256 characters or holding "/" or "\".
SC_HANDLE CreateService(SC_HANDLE manager, const std::string& service_name, const std::string& display_name,
                        uint32_t desired_access, uint32_t service_type, uint32_t start_type,
                        uint32_t error_control, const std::string& binary_path_name,
                        const std::string& load_order_group, uint32_t* tag_id,
                        const std::string& dependencies, const std::string& service_start_name,
                        const std::string& password);

// Deletes the entry. A service that runs is marked for deletion: its entry goes when it stops, and
// until then it cannot be started or created again (ERROR_SERVICE_MARKED_FOR_DELETE).
bool DeleteService(SC_HANDLE service);

// Starts the service's program and waits until the service reports that it runs or it has ended.
// Arguments for the service's main function are not supported (ERROR_INVALID_PARAMETER when given).
// ERROR_SERVICE_ALREADY_RUNNING when it runs; ERROR_SERVICE_DISABLED for an entry whose start type is
// SERVICE_DISABLED; the program's own error when it cannot be started (ERROR_FILE_NOT_FOUND ...);
// ERROR_SERVICE_LOGON_FAILED when it cannot run under its account; the service's exit code when it
// stopped before it ran, ERROR_PROCESS_ABORTED when its process ended without saying why, and
// ERROR_SERVICE_REQUEST_TIMEOUT when it did not report within its announced waits (it goes on starting).
bool StartService(SC_HANDLE service, uint32_t argument_count, const char* const* arguments);

// Sends a control (stop, pause, continue, interrogate) and gives the state the service reports once
// it has taken the control. The status is filled also when the control is refused with
// ERROR_SERVICE_NOT_ACTIVE (the service does not run), ERROR_SERVICE_CANNOT_ACCEPT_CTRL (it is in a
// pending state) or ERROR_INVALID_SERVICE_CONTROL (it does not accept that control).
bool ControlService(SC_HANDLE service, uint32_t control, SERVICE_STATUS* status);

bool QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
bool QueryServiceStatusEx(SC_HANDLE service, SERVICE_STATUS_PROCESS* status);
// The line the service gave as its status text in its latest run (SetServiceStatusText), such as the
// cause of a failed start; empty when it gave none. Windows keeps no such text: there it is always
// empty. Needs SERVICE_QUERY_STATUS.
bool QueryServiceStatusText(SC_HANDLE service, std::string* text);

bool CloseServiceHandle(SC_HANDLE handle);

// Owns a service handle and closes it when it goes.
class ServiceHandle {
 public:
  ServiceHandle() = default;
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ServiceHandle(ServiceHandle&& other) noexcept : handle_(other.Release()) {}
  ServiceHandle& operator=(ServiceHandle&& other) noexcept;
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() { Close(); }

  SC_HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != SC_HANDLE{}; }
  SC_HANDLE Release();
  void Close();

 private:
  SC_HANDLE handle_{};
};

}  // namespace qv::platform
