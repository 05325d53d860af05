// A platform state directory of its own for a fuzz target that touches the stand-ins (registry hive,
// event log, calendar store): made on first use, named by QUORVANE_STATE_DIR, with the syslog copies
// of events switched off, and deleted when the process ends normally. The objects that use it are
// never destroyed (libFuzzer ends the process with exit), so nothing of theirs runs after it is gone.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/files/file_system.h"
#include "platform/process/environment.h"

namespace qv::fuzzing {

inline const std::string& FuzzStateDirectory() {
  static const std::string* const path = [] {
    const auto* made = new std::string(platform::CreateTemporaryDirectory("quorvane-fuzz-"));
    platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", *made);
    platform::SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", std::string());
    std::atexit([] { platform::DeleteTree(FuzzStateDirectory()); });
    return made;
  }();
  return *path;
}

inline std::string FuzzStateFile(const std::string& name) {
  return FuzzStateDirectory() + "/" + name;
}

}  // namespace qv::fuzzing
