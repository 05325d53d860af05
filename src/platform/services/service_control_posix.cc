// The service control manager's client functions. Handles are entries of a process-wide table; the
// entries, the run state and the units are shared with every other process through the registry, the
// state directory and systemd.
//
// CreateService writes the entry, then the unit that mirrors it, and when systemd runs has it reload
// and enable the unit; systemctl's failures are not fatal (its own message reaches the terminal).
// StartService refuses a marked entry, a disabled one, and a key without a service type
// (ERROR_BAD_FORMAT: a key that only holds the information store's ImagePath, say). With systemd asked
// and the unit there, the start is "systemctl start", which waits for READY=1; otherwise the program is
// launched detached with the starter's environment, the state directory set and systemd's variables
// removed, and watched: 30 s for its first record, then as long as its check-point moves within its
// wait hint (at least 30 s). ControlService checks the handle's rights, then the state, signals the
// process through a pidfd opened before the record and the lock are checked again (so a reused
// process id is never signalled), and waits up to 30 s until the service has counted the control;
// the state it then reports is the pending one, as a rule. Interrogate is answered from the record.
// DeleteService of a running service sets DeleteFlag and removes the unit at once; the entry goes when
// the service stops (its own process deletes it, or the next call here that finds it stopped).
// A unit that a system package carries with the text installation would write serves as the
// service's unit: none is written beside it, and removal disables it but leaves its file.
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/clock/clock.h"
#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"
#include "platform/os/unique_fd_posix.h"
#include "platform/process/module.h"
#include "platform/registry/registry.h"
#include "platform/services/command_line_posix.h"
#include "platform/services/service_control.h"
#include "platform/services/service_entry_posix.h"
#include "platform/services/service_launch_posix.h"
#include "platform/services/service_run_state_posix.h"
#include "platform/services/systemd_integration_posix.h"
#include "platform/text/text_compare.h"

namespace qv::platform {

namespace {

using posix::ServiceEntry;
using posix::ServiceRecord;

// How long a service may take to write its first record, and at least to leave a pending state or
// take a control.
constexpr uint32_t kResponseTimeout = 30000;
constexpr uint32_t kPollInterval = 10;
constexpr size_t kMaxServiceNameLength = 256;

constexpr uint32_t kManagerWriteRights =
    SC_MANAGER_CREATE_SERVICE | SC_MANAGER_LOCK | SC_MANAGER_MODIFY_BOOT_CONFIG;
constexpr uint32_t kServiceWriteRights =
    SERVICE_CHANGE_CONFIG | SERVICE_DELETE | SERVICE_WRITE_DAC | SERVICE_WRITE_OWNER;

struct OpenHandle {
  bool is_service = false;
  uint32_t access = 0;
  std::string service_name;
};

class HandleTable {
 public:
  static HandleTable& Instance() {
    static HandleTable table;
    return table;
  }

  SC_HANDLE Add(OpenHandle handle) {
    std::lock_guard lock(mutex_);
    const uintptr_t value = next_++;
    handles_.emplace(value, std::move(handle));
    return static_cast<SC_HANDLE>(value);
  }

  bool Find(SC_HANDLE handle, OpenHandle* found) {
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(static_cast<uintptr_t>(handle));
    if (it == handles_.end()) return false;
    *found = it->second;
    return true;
  }

  bool Remove(SC_HANDLE handle) {
    std::lock_guard lock(mutex_);
    return handles_.erase(static_cast<uintptr_t>(handle)) != 0;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<uintptr_t, OpenHandle> handles_;
  uintptr_t next_ = 1;
};

SC_HANDLE FailHandle(uint32_t code) {
  SetLastError(code);
  return SC_HANDLE{};
}

bool FindService(SC_HANDLE handle, uint32_t needed, OpenHandle* found) {
  if (!HandleTable::Instance().Find(handle, found) || !found->is_service)
    return FailWith(ERROR_INVALID_HANDLE);
  if ((found->access & needed) != needed) return FailWith(ERROR_ACCESS_DENIED);
  return true;
}

bool IsValidServiceName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxServiceNameLength &&
         name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

bool IsLocalMachine(const std::string& machine_name) {
  std::string name = machine_name;
  if (name.rfind("\\\\", 0) == 0) name.erase(0, 2);
  if (name.empty() || name == "." || CompareTextIgnoreCase(name, "localhost") == 0) return true;
  const std::string computer = GetComputerName();
  if (CompareTextIgnoreCase(name, computer) == 0) return true;
  // The computer's short name answers too, as the machine's NetBIOS name does on Windows.
  return CompareTextIgnoreCase(name, computer.substr(0, computer.find('.'))) == 0;
}

ServiceRecord Observe(const std::string& name, uint32_t type = SERVICE_WIN32_OWN_PROCESS) {
  return posix::ObserveService(posix::ServiceRunDirectory(name), type);
}

bool Runs(const std::string& name) {
  return posix::ServiceProcessRuns(posix::ServiceRunDirectory(name));
}

void ForgetUnit(const std::string& name) {
  const std::string unit = posix::SystemdUnitPath(name);
  if (FileExists(unit)) {
    posix::RunSystemctl({"disable", posix::SystemdUnitName(name)});
    DeleteFile(unit);
    posix::RunSystemctl({"daemon-reload"});
  } else if (!posix::PackagedSystemdUnitPath(name).empty()) {
    // A package's unit stays with its package; only the service it stood for is gone.
    posix::RunSystemctl({"disable", posix::SystemdUnitName(name)});
  }
}

// Whether systemd has a unit of the service: the one installation wrote, or a package's.
bool HasUnit(const std::string& name) {
  return FileExists(posix::SystemdUnitPath(name)) || !posix::PackagedSystemdUnitPath(name).empty();
}

// Whether a system package carries the very unit that installation would write.
bool PackageCarriesUnit(const std::string& name, const std::string& unit_text) {
  const std::string packaged = posix::PackagedSystemdUnitPath(name);
  std::string packaged_text;
  return !packaged.empty() && ReadWholeFile(packaged, &packaged_text) && packaged_text == unit_text;
}

// An entry marked for deletion goes once its service has stopped; true when it is gone.
bool FinishMarkedDeletion(const ServiceEntry& entry) {
  if (!entry.MarkedForDelete || Runs(entry.Name)) return false;
  return posix::DeleteServiceEntry(entry.Name) == ERROR_SUCCESS;
}

// The entry of a name, with an entry marked for deletion whose service has stopped counted as gone.
uint32_t ReadLiveEntry(const std::string& name, ServiceEntry* entry) {
  const uint32_t code = posix::ReadServiceEntry(name, entry);
  if (code != ERROR_SUCCESS) return code;
  if (FinishMarkedDeletion(*entry)) return ERROR_SERVICE_DOES_NOT_EXIST;
  return ERROR_SUCCESS;
}

// Signals the process that runs the service, making sure it is still that process.
uint32_t SignalService(const std::string& name, uint32_t process_id, int signal_number) {
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(process_id), 0));
  if (pidfd < 0 && errno != ENOSYS)
    return errno == ESRCH ? ERROR_SERVICE_NOT_ACTIVE : posix::WinErrorFromErrno(errno);
  const posix::UniqueFd process(pidfd);
  // The process behind the descriptor cannot change any more; it is the service's while the service
  // still runs under that id.
  ServiceRecord now;
  if (!posix::ReadServiceRecord(posix::ServiceRunDirectory(name), &now) || now.ProcessId != process_id ||
      !Runs(name))
    return ERROR_SERVICE_NOT_ACTIVE;
  // Kernels before 5.3 have no process descriptors: a plain signal, checked as closely as they allow.
  const long sent = process ? syscall(SYS_pidfd_send_signal, pidfd, signal_number, nullptr, 0)
                            : kill(static_cast<pid_t>(process_id), signal_number);
  if (sent != 0) return errno == ESRCH ? ERROR_SERVICE_NOT_ACTIVE : posix::WinErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

// Waits until the service started as `process_id` reports something other than start pending,
// following its announced progress. ERROR_SUCCESS once it runs (or has stopped without an error); the
// reason of a failed start otherwise.
uint32_t WaitForStart(const std::string& name, uint32_t process_id) {
  uint32_t last_progress = GetTickCount();
  uint32_t allowed = kResponseTimeout;
  uint32_t last_checkpoint = 0;
  bool reported = false;
  for (;;) {
    ServiceRecord record = Observe(name);
    if (record.ProcessId != process_id && !posix::ProcessIsAlive(process_id)) {
      // Ended: look once more, it may have written its last record just before.
      record = Observe(name);
      if (record.ProcessId != process_id) return ERROR_PROCESS_ABORTED;
    }
    if (record.ProcessId == process_id) {
      const SERVICE_STATUS& status = record.Status;
      if (status.dwCurrentState == SERVICE_STOPPED) return status.dwWin32ExitCode;
      if (status.dwCurrentState != SERVICE_START_PENDING) return ERROR_SUCCESS;
      if (!reported || status.dwCheckPoint != last_checkpoint) {
        reported = true;
        last_checkpoint = status.dwCheckPoint;
        last_progress = GetTickCount();
        allowed = status.dwWaitHint > kResponseTimeout ? status.dwWaitHint : kResponseTimeout;
      }
    }
    if (GetTickCount() - last_progress > allowed) return ERROR_SERVICE_REQUEST_TIMEOUT;
    Sleep(kPollInterval);
  }
}

uint32_t StartUnderSystemd(const ServiceEntry& entry) {
  // systemctl waits until the service reports that it runs (or fails), within systemd's own limits.
  posix::RunSystemctl({"start", posix::SystemdUnitName(entry.Name)});
  const ServiceRecord record = Observe(entry.Name);
  switch (record.Status.dwCurrentState) {
    case SERVICE_STOPPED:
      return record.Status.dwWin32ExitCode != ERROR_SUCCESS ? record.Status.dwWin32ExitCode
                                                            : ERROR_PROCESS_ABORTED;
    case SERVICE_START_PENDING:
      return ERROR_SERVICE_REQUEST_TIMEOUT;
    default:
      return ERROR_SUCCESS;
  }
}

uint32_t StartDetached(const ServiceEntry& entry) {
  posix::ServiceAccount account;
  if (const uint32_t code = posix::ResolveServiceAccount(entry.ObjectName, &account); code != ERROR_SUCCESS)
    return code;
  const std::vector<std::string> command =
      posix::SplitCommandLine(posix::ExpandEnvironmentText(entry.ImagePath));
  if (command.empty()) return ERROR_FILE_NOT_FOUND;
  std::string run_directory;
  if (!posix::EnsureServiceRunDirectory(entry.Name, &run_directory)) return GetLastError();
  if (!posix::HandOverFolder(run_directory, account)) return GetLastError();
  std::string state_directory;
  try {
    state_directory = EnsurePlatformStateDirectory();
  } catch (const EWin32Error& error) {
    return error.ErrorCode;
  }
  if (!posix::ShareStateDirectory(state_directory, account)) return GetLastError();
  // The service shares this process's state directory, and never this process's systemd connection.
  std::vector<std::pair<std::string, std::string>> environment = {
      {"QUORVANE_STATE_DIR", state_directory}, {"NOTIFY_SOCKET", ""}, {"LISTEN_FDS", ""}, {"LISTEN_PID", ""}};
  if (account.SwitchUser) {
    environment.push_back({"HOME", account.Home});
    environment.push_back({"USER", account.UserName});
    environment.push_back({"LOGNAME", account.UserName});
  }
  uint32_t process_id = 0;
  if (!posix::LaunchDetachedProcess(command, account, run_directory + "/console.log", environment,
                                    &process_id))
    return GetLastError();
  return WaitForStart(entry.Name, process_id);
}

// Waits until the service has taken a control sent after it had taken `taken_before`, or has ended.
uint32_t WaitForControlTaken(const std::string& name, uint64_t taken_before) {
  const uint32_t start = GetTickCount();
  for (;;) {
    const ServiceRecord record = Observe(name);
    if (record.ControlsTaken > taken_before || record.Status.dwCurrentState == SERVICE_STOPPED)
      return ERROR_SUCCESS;
    if (GetTickCount() - start > kResponseTimeout) return ERROR_SERVICE_REQUEST_TIMEOUT;
    Sleep(kPollInterval);
  }
}

}  // namespace

SC_HANDLE OpenSCManager(const std::string& machine_name, const std::string& database_name,
                        uint32_t desired_access) {
  if (!IsLocalMachine(machine_name)) return FailHandle(RPC_S_SERVER_UNAVAILABLE);
  if (!database_name.empty() && CompareTextIgnoreCase(database_name, "ServicesActive") != 0)
    return FailHandle(ERROR_DATABASE_DOES_NOT_EXIST);
  if ((desired_access & kManagerWriteRights) != 0 && RegistryHiveIsWriteProtected())
    return FailHandle(ERROR_ACCESS_DENIED);
  return HandleTable::Instance().Add(OpenHandle{false, desired_access | SC_MANAGER_CONNECT, std::string()});
}

SC_HANDLE OpenService(SC_HANDLE manager, const std::string& service_name, uint32_t desired_access) {
  OpenHandle found;
  if (!HandleTable::Instance().Find(manager, &found) || found.is_service)
    return FailHandle(ERROR_INVALID_HANDLE);
  if (!IsValidServiceName(service_name)) return FailHandle(ERROR_INVALID_NAME);
  ServiceEntry entry;
  if (const uint32_t code = ReadLiveEntry(service_name, &entry); code != ERROR_SUCCESS)
    return FailHandle(code);
  if ((desired_access & kServiceWriteRights) != 0 && RegistryHiveIsWriteProtected())
    return FailHandle(ERROR_ACCESS_DENIED);
  return HandleTable::Instance().Add(OpenHandle{true, desired_access, service_name});
}

SC_HANDLE CreateService(SC_HANDLE manager, const std::string& service_name, const std::string& display_name,
                        uint32_t desired_access, uint32_t service_type, uint32_t start_type,
                        uint32_t error_control, const std::string& binary_path_name,
                        const std::string& load_order_group, uint32_t* tag_id,
                        const std::string& dependencies, const std::string& service_start_name,
                        const std::string& password) {
  (void)password;  // Running a program under a system account takes no password here; it is not kept.
  OpenHandle found;
  if (!HandleTable::Instance().Find(manager, &found) || found.is_service)
    return FailHandle(ERROR_INVALID_HANDLE);
  if ((found.access & SC_MANAGER_CREATE_SERVICE) == 0) return FailHandle(ERROR_ACCESS_DENIED);
  if (!IsValidServiceName(service_name) || display_name.size() > kMaxServiceNameLength)
    return FailHandle(ERROR_INVALID_NAME);
  if (service_type != SERVICE_WIN32_OWN_PROCESS || start_type < SERVICE_AUTO_START ||
      start_type > SERVICE_DISABLED || error_control > SERVICE_ERROR_CRITICAL || binary_path_name.empty() ||
      !load_order_group.empty() || tag_id != nullptr || !dependencies.empty())
    return FailHandle(ERROR_INVALID_PARAMETER);
  std::optional<std::string> system_user;
  const std::string object_name = service_start_name.empty() ? kLocalSystemAccount : service_start_name;
  if (const uint32_t code = posix::CheckServiceAccount(object_name, &system_user); code != ERROR_SUCCESS)
    return FailHandle(code);
  std::string state_directory;
  try {
    state_directory = EnsurePlatformStateDirectory();
  } catch (const EWin32Error& error) {
    return FailHandle(error.ErrorCode);
  }

  ServiceEntry existing;
  if (posix::ReadServiceEntry(service_name, &existing) == ERROR_SUCCESS && existing.MarkedForDelete &&
      !FinishMarkedDeletion(existing))
    return FailHandle(ERROR_SERVICE_MARKED_FOR_DELETE);

  ServiceEntry entry;
  entry.Name = service_name;
  entry.DisplayName = display_name.empty() ? service_name : display_name;
  entry.ImagePath = binary_path_name;
  entry.ObjectName = object_name;
  entry.Type = service_type;
  entry.Start = start_type;
  entry.ErrorControl = error_control;
  if (const uint32_t code = posix::CreateServiceEntry(entry); code != ERROR_SUCCESS) return FailHandle(code);

  const std::string unit = posix::SystemdUnitPath(service_name);
  const std::string unit_text = posix::SystemdUnitText(entry, state_directory, system_user);
  if (PackageCarriesUnit(service_name, unit_text)) {
    // A unit left here by an earlier installation would hide the package's.
    if (FileExists(unit)) DeleteFile(unit);
  } else if (!ForceDirectories(posix::SystemdUnitDirectory()) || !WriteWholeFile(unit, unit_text)) {
    const uint32_t code = GetLastError();
    posix::DeleteServiceEntry(service_name);
    return FailHandle(code);
  }
  // A service that systemd runs under its account finds its run folder ready and its own.
  posix::ServiceAccount account;
  std::string run_directory;
  if (system_user && posix::ResolveServiceAccount(object_name, &account) == ERROR_SUCCESS &&
      account.SwitchUser && posix::EnsureServiceRunDirectory(service_name, &run_directory)) {
    posix::HandOverFolder(run_directory, account);
    posix::ShareStateDirectory(state_directory, account);
  }
  // systemd learns of the unit and starts it with the machine; its own messages tell of a failure.
  if (posix::RunSystemctl({"daemon-reload"}))
    posix::RunSystemctl({"enable", posix::SystemdUnitName(service_name)});
  return HandleTable::Instance().Add(OpenHandle{true, desired_access, service_name});
}

bool DeleteService(SC_HANDLE service) {
  OpenHandle found;
  if (!FindService(service, SERVICE_DELETE, &found)) return false;
  ServiceEntry entry;
  if (const uint32_t code = posix::ReadServiceEntry(found.service_name, &entry); code != ERROR_SUCCESS)
    return FailWith(code);
  if (entry.MarkedForDelete) {
    if (FinishMarkedDeletion(entry)) return FailWith(ERROR_SERVICE_DOES_NOT_EXIST);
    return FailWith(ERROR_SERVICE_MARKED_FOR_DELETE);
  }
  uint32_t code = ERROR_SUCCESS;
  if (Observe(found.service_name).Status.dwCurrentState != SERVICE_STOPPED) {
    code = posix::MarkServiceEntryForDelete(found.service_name);
  } else {
    code = posix::DeleteServiceEntry(found.service_name);
  }
  if (code != ERROR_SUCCESS) return FailWith(code);
  ForgetUnit(found.service_name);
  return true;
}

bool StartService(SC_HANDLE service, uint32_t argument_count, const char* const* arguments) {
  (void)arguments;
  OpenHandle found;
  if (!FindService(service, SERVICE_START, &found)) return false;
  if (argument_count != 0) return FailWith(ERROR_INVALID_PARAMETER);
  ServiceEntry entry;
  if (const uint32_t code = posix::ReadServiceEntry(found.service_name, &entry); code != ERROR_SUCCESS)
    return FailWith(code);
  if (entry.MarkedForDelete) {
    FinishMarkedDeletion(entry);
    return FailWith(ERROR_SERVICE_MARKED_FOR_DELETE);
  }
  if (entry.Start == SERVICE_DISABLED) return FailWith(ERROR_SERVICE_DISABLED);
  if ((entry.Type & ~SERVICE_INTERACTIVE_PROCESS) != SERVICE_WIN32_OWN_PROCESS)
    return FailWith(ERROR_BAD_FORMAT);
  if (Observe(found.service_name).Status.dwCurrentState != SERVICE_STOPPED)
    return FailWith(ERROR_SERVICE_ALREADY_RUNNING);
  const bool under_systemd = posix::SystemctlCommand().has_value() && HasUnit(entry.Name);
  const uint32_t code = under_systemd ? StartUnderSystemd(entry) : StartDetached(entry);
  return code == ERROR_SUCCESS || FailWith(code);
}

bool ControlService(SC_HANDLE service, uint32_t control, SERVICE_STATUS* status) {
  OpenHandle found;
  if (!HandleTable::Instance().Find(service, &found) || !found.is_service)
    return FailWith(ERROR_INVALID_HANDLE);
  int signal_number = 0;
  uint32_t needed = 0;
  uint32_t accepted_flag = 0;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      signal_number = SIGTERM;
      needed = SERVICE_STOP;
      accepted_flag = SERVICE_ACCEPT_STOP;
      break;
    case SERVICE_CONTROL_PAUSE:
      signal_number = SIGUSR1;
      needed = SERVICE_PAUSE_CONTINUE;
      accepted_flag = SERVICE_ACCEPT_PAUSE_CONTINUE;
      break;
    case SERVICE_CONTROL_CONTINUE:
      signal_number = SIGUSR2;
      needed = SERVICE_PAUSE_CONTINUE;
      accepted_flag = SERVICE_ACCEPT_PAUSE_CONTINUE;
      break;
    case SERVICE_CONTROL_INTERROGATE:
      needed = SERVICE_INTERROGATE;
      break;
    default:
      // Shutdown comes from the system alone; user-defined controls have no signal here.
      return FailWith(control == SERVICE_CONTROL_SHUTDOWN || (control >= 128 && control <= 255)
                          ? ERROR_INVALID_SERVICE_CONTROL
                          : ERROR_INVALID_PARAMETER);
  }
  if ((found.access & needed) != needed) return FailWith(ERROR_ACCESS_DENIED);
  ServiceEntry entry;
  if (const uint32_t code = posix::ReadServiceEntry(found.service_name, &entry); code != ERROR_SUCCESS)
    return FailWith(code);
  ServiceRecord record = Observe(found.service_name, entry.Type);
  if (status != nullptr) *status = record.Status;
  const uint32_t state = record.Status.dwCurrentState;
  if (state == SERVICE_STOPPED) return FailWith(ERROR_SERVICE_NOT_ACTIVE);
  if (control == SERVICE_CONTROL_INTERROGATE) return true;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_PAUSE_PENDING ||
      state == SERVICE_CONTINUE_PENDING)
    return FailWith(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  if ((record.Status.dwControlsAccepted & accepted_flag) == 0) return FailWith(ERROR_INVALID_SERVICE_CONTROL);
  if (const uint32_t code = SignalService(found.service_name, record.ProcessId, signal_number);
      code != ERROR_SUCCESS) {
    if (status != nullptr) *status = Observe(found.service_name, entry.Type).Status;
    return FailWith(code);
  }
  const uint32_t waited = WaitForControlTaken(found.service_name, record.ControlsTaken);
  if (status != nullptr) *status = Observe(found.service_name, entry.Type).Status;
  return waited == ERROR_SUCCESS || FailWith(waited);
}

bool QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  SERVICE_STATUS_PROCESS full;
  if (!QueryServiceStatusEx(service, &full)) return false;
  *status = full;
  return true;
}

bool QueryServiceStatusEx(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
  OpenHandle found;
  if (!FindService(service, SERVICE_QUERY_STATUS, &found)) return false;
  if (status == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  ServiceEntry entry;
  const uint32_t type =
      posix::ReadServiceEntry(found.service_name, &entry) == ERROR_SUCCESS && entry.Type != 0
          ? entry.Type
          : SERVICE_WIN32_OWN_PROCESS;
  const ServiceRecord record = Observe(found.service_name, type);
  *status = SERVICE_STATUS_PROCESS();
  static_cast<SERVICE_STATUS&>(*status) = record.Status;
  status->dwProcessId = record.Status.dwCurrentState == SERVICE_STOPPED ? 0 : record.ProcessId;
  return true;
}

bool QueryServiceStatusText(SC_HANDLE service, std::string* text) {
  OpenHandle found;
  if (!FindService(service, SERVICE_QUERY_STATUS, &found)) return false;
  if (text == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  *text = posix::ReadServiceStatusText(posix::ServiceRunDirectory(found.service_name));
  return true;
}

bool CloseServiceHandle(SC_HANDLE handle) {
  return HandleTable::Instance().Remove(handle) || FailWith(ERROR_INVALID_HANDLE);
}

}  // namespace qv::platform
