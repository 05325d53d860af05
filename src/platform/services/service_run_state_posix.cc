#include "platform/services/service_run_state_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sstream>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"
#include "platform/text/text_compare.h"

namespace qv::platform::posix {

namespace {

constexpr const char* kStatusFile = "status";
constexpr const char* kLockFile = "lock";
constexpr const char* kStatusTextFile = "status-text";
constexpr size_t kMaxStatusText = 1000;

std::string RunFolderName(const std::string& service_name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string name;
  for (const char c : FoldTextCase(service_name)) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '_' || byte == '-') {
      name += c;
    } else {
      name += '%';
      name += kHex[byte >> 4];
      name += kHex[byte & 0x0F];
    }
  }
  return name;
}

bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
  SetLastErrorFromErrno(errno);
  return false;
}

}  // namespace

std::string ServiceRunDirectory(const std::string& service_name) {
  return PlatformStateDirectory() + "/services/" + RunFolderName(service_name);
}

bool EnsureServiceRunDirectory(const std::string& service_name, std::string* directory) {
  try {
    const std::string services = EnsurePlatformStateDirectory() + "/services";
    if (!MakeFolder(services)) return false;
    *directory = services + "/" + RunFolderName(service_name);
    return MakeFolder(*directory);
  } catch (const qv::EWin32Error& error) {
    SetLastError(error.ErrorCode);
    return false;
  }
}

bool WriteServiceRecord(const std::string& run_directory, const ServiceRecord& record) {
  const SERVICE_STATUS& status = record.Status;
  std::ostringstream text;
  text << "pid=" << record.ProcessId << "\ntype=" << status.dwServiceType
       << "\nstate=" << status.dwCurrentState << "\ncontrols=" << status.dwControlsAccepted
       << "\nwin32_exit_code=" << status.dwWin32ExitCode
       << "\nservice_exit_code=" << status.dwServiceSpecificExitCode << "\ncheckpoint=" << status.dwCheckPoint
       << "\nwait_hint=" << status.dwWaitHint << "\ncontrols_taken=" << record.ControlsTaken << "\nend\n";
  // Written beside the record under a name of this process, then renamed over it: readers see the old
  // record or the new one, whole.
  const std::string final_path = run_directory + "/" + kStatusFile;
  const std::string new_path = final_path + "." + std::to_string(getpid()) + ".new";
  if (!WriteWholeFile(new_path, text.str())) return false;
  if (rename(new_path.c_str(), final_path.c_str()) != 0) {
    SetLastErrorFromErrno(errno);
    unlink(new_path.c_str());
    return false;
  }
  return true;
}

bool ReadServiceRecord(const std::string& run_directory, ServiceRecord* record) {
  std::string content;
  if (!ReadWholeFile(run_directory + "/" + kStatusFile, &content)) return false;
  std::istringstream lines(content);
  std::string line;
  ServiceRecord read;
  int fields = 0;
  bool ended = false;
  while (std::getline(lines, line)) {
    if (line == "end") {
      ended = true;
      break;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = line.substr(0, equals);
    unsigned long long value = 0;
    try {
      size_t used = 0;
      value = std::stoull(line.substr(equals + 1), &used);
      if (used != line.size() - equals - 1) return false;
    } catch (const std::exception&) {
      return false;
    }
    const auto as32 = static_cast<uint32_t>(value);
    SERVICE_STATUS& status = read.Status;
    if (key == "pid")
      read.ProcessId = as32;
    else if (key == "type")
      status.dwServiceType = as32;
    else if (key == "state")
      status.dwCurrentState = as32;
    else if (key == "controls")
      status.dwControlsAccepted = as32;
    else if (key == "win32_exit_code")
      status.dwWin32ExitCode = as32;
    else if (key == "service_exit_code")
      status.dwServiceSpecificExitCode = as32;
    else if (key == "checkpoint")
      status.dwCheckPoint = as32;
    else if (key == "wait_hint")
      status.dwWaitHint = as32;
    else if (key == "controls_taken")
      read.ControlsTaken = value;
    else
      continue;
    ++fields;
  }
  if (!ended || fields != 9) return false;
  if (read.Status.dwCurrentState < SERVICE_STOPPED || read.Status.dwCurrentState > SERVICE_PAUSED)
    return false;
  *record = read;
  return true;
}

bool WriteServiceStatusText(const std::string& run_directory, const std::string& text) {
  const std::string path = run_directory + "/" + kStatusTextFile;
  if (text.empty()) return DeleteFile(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
  return WriteWholeFile(path, text + "\n");
}

std::string ReadServiceStatusText(const std::string& run_directory) {
  std::string text;
  if (!ReadWholeFile(run_directory + "/" + kStatusTextFile, &text)) return std::string();
  // One line, and no more of it than a status line needs.
  text = text.substr(0, std::min(text.find('\n'), kMaxStatusText));
  return text;
}

bool ServiceProcessRuns(const std::string& run_directory) {
  const std::string path = run_directory + "/" + kLockFile;
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (fcntl(fd.get(), F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

ServiceRecord ObserveService(const std::string& run_directory, uint32_t service_type) {
  ServiceRecord record;
  const bool read = ReadServiceRecord(run_directory, &record);
  // The lock after the record: a service that wrote its last record and ended in between reads as
  // ended, never as running without a process.
  const bool runs = ServiceProcessRuns(run_directory);
  if (runs) {
    // A record that says stopped while the lock is held is the last one of a process about to end, or
    // the previous run's for the moment before a new process writes its first: both read as written.
    if (read) return record;
    ServiceRecord starting;
    starting.Status.dwServiceType = service_type;
    starting.Status.dwCurrentState = SERVICE_START_PENDING;
    return starting;
  }
  ServiceRecord stopped;
  stopped.Status.dwServiceType =
      read && record.Status.dwServiceType != 0 ? record.Status.dwServiceType : service_type;
  stopped.Status.dwCurrentState = SERVICE_STOPPED;
  stopped.ControlsTaken = read ? record.ControlsTaken : 0;
  stopped.ProcessId = read ? record.ProcessId : 0;
  if (read) {
    if (record.Status.dwCurrentState == SERVICE_STOPPED) {
      stopped.Status.dwWin32ExitCode = record.Status.dwWin32ExitCode;
      stopped.Status.dwServiceSpecificExitCode = record.Status.dwServiceSpecificExitCode;
    } else {
      stopped.Status.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
    }
  }
  return stopped;
}

bool ServiceRunLock::Acquire(const std::string& run_directory) {
  const std::string path = run_directory + "/" + kLockFile;
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(fd.get(), F_OFD_SETLK, &lock) != 0) {
    if (errno == EAGAIN || errno == EACCES)
      SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    else
      SetLastErrorFromErrno(errno);
    return false;
  }
  fd_ = std::move(fd);
  return true;
}

}  // namespace qv::platform::posix
