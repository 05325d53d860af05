// What the manager knows of a running service: the service's run folder in the state directory
// (<state>/services/<folded name>/) with its status record ("status"), its run lock ("lock") and the
// program's console output ("console.log"). Internal to the POSIX service control manager.
//
// The service process holds an open-file-description write lock on "lock" for as long as it runs, so
// whether a service runs is whether someone holds that lock: never a guess from a process id that may
// have been reused. "status" is replaced whole (written beside it and renamed into place), so a reader
// sees one record or the next, never a torn one; it holds the process id, the SERVICE_STATUS fields,
// the count of controls taken and an end marker. A stopped record keeps its exit codes. A record
// whose process has gone without reporting SERVICE_STOPPED reads as stopped with
// ERROR_PROCESS_ABORTED, as Windows reports a service process that died.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os/unique_fd_posix.h"
#include "platform/services/service_control.h"

namespace qv::platform::posix {

struct ServiceRecord {
  SERVICE_STATUS Status;
  // The process that wrote the record (it may have ended since).
  uint32_t ProcessId = 0;
  // How many controls the service process has taken: a controller waits for it to grow.
  uint64_t ControlsTaken = 0;
};

// The run folder of a service, named by the service's name folded to lower case, with bytes outside
// [a-z0-9_-] written as %XX. Not created.
std::string ServiceRunDirectory(const std::string& service_name);
// The run folder, created with <state>/services when missing (mode 0755). False with the last error set.
bool EnsureServiceRunDirectory(const std::string& service_name, std::string* directory);

// Replaces the record. False with the last error set.
bool WriteServiceRecord(const std::string& run_directory, const ServiceRecord& record);
// The record as written; false when there is none or it cannot be read as one.
bool ReadServiceRecord(const std::string& run_directory, ServiceRecord* record);

// The service's status text of its latest run ("status-text" in the run folder, one line), written
// by the service process; an empty text removes it. ReadServiceStatusText gives empty text when there
// is none. False with the last error set.
bool WriteServiceStatusText(const std::string& run_directory, const std::string& text);
std::string ReadServiceStatusText(const std::string& run_directory);

// Whether a process holds the run lock of the folder.
bool ServiceProcessRuns(const std::string& run_directory);

// The service's state as the manager reports it: the record while a process holds the run lock (start
// pending when it has written none yet), the stopped record it left, stopped with ERROR_PROCESS_ABORTED
// when its process ended in another state, plain stopped when it never ran. `service_type` fills the
// type of a service that does not run.
ServiceRecord ObserveService(const std::string& run_directory, uint32_t service_type);

// The run lock, held by the service process while it runs.
class ServiceRunLock {
 public:
  // False with ERROR_SERVICE_ALREADY_RUNNING when another process (or another lock of this one) holds
  // it, or with the error of opening the lock file.
  bool Acquire(const std::string& run_directory);
  void Release() { fd_.reset(); }

 private:
  UniqueFd fd_;
};

}  // namespace qv::platform::posix
