// The platform state directory: where the stand-ins keep the registry hive, the event log, the
// account database and the calendar store.
#pragma once

#include <string>

namespace qv::platform {

// QUORVANE_STATE_DIR when set; otherwise /var/lib/quorvane for root and
// ${XDG_STATE_HOME:-$HOME/.local/state}/quorvane for other users. No trailing delimiter.
std::string PlatformStateDirectory();

// Whose state PlatformStateDirectory names: the one QUORVANE_STATE_DIR names, the machine's (root's
// on Linux; everybody's on Windows), or on Linux the calling user's own.
enum class StateDirectoryOwner { kNamed, kMachine, kUser };
StateDirectoryOwner PlatformStateDirectoryOwner();

// The machine's state directory, whoever asks: /var/lib/quorvane, or Quorvane in the program data
// folder.
std::string MachineStateDirectory();

// The state directory, created with its parents when missing. Raises EWin32Error when it cannot be.
std::string EnsurePlatformStateDirectory();

// A file of the state directory, the directory created when missing.
std::string PlatformStateFile(const std::string& file_name);

}  // namespace qv::platform
