// A platform state directory of its own for a fuzz target that touches the stand-ins (registry hive,
// event log, calendar store): made once when the target starts, named by QUORVANE_STATE_DIR, with
// the syslog copies of events switched off, and deleted when the process ends normally.
#pragma once

#include <string>

#include "platform/environment.h"
#include "platform/file_system.h"

namespace qv::fuzzing {

class FuzzStateDir {
 public:
  FuzzStateDir() : path_(platform::CreateTemporaryDirectory("quorvane-fuzz-")) {
    platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", path_);
    platform::SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", std::string());
  }
  FuzzStateDir(const FuzzStateDir&) = delete;
  FuzzStateDir& operator=(const FuzzStateDir&) = delete;
  ~FuzzStateDir() { platform::DeleteTree(path_); }

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace qv::fuzzing
