#include "support/state_directory_check.h"

#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"

namespace qv {

std::string StateDirectoryRefusal(const std::string& command) {
  if (platform::PlatformStateDirectoryOwner() != platform::StateDirectoryOwner::kUser) return std::string();
  if (platform::DirectoryExists(platform::PlatformStateDirectory())) return std::string();
  return command + " works on this machine's state in " + platform::MachineStateDirectory() +
         ", which needs root: run it with sudo (or set QUORVANE_STATE_DIR to a state of your own)";
}

}  // namespace qv
