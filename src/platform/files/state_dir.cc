// The parts of the state directory that both platforms share: making it and naming its files. Where it
// lies is each platform's (PlatformStateDirectory).
#include "platform/files/state_dir.h"
#include "platform/errors/last_error.h"
#include "platform/errors/system_error.h"
#include "platform/files/file_system.h"
#include "platform/process/module.h"

namespace qv::platform {

std::string EnsurePlatformStateDirectory() {
  const std::string directory = PlatformStateDirectory();
  // Every calendar, account and setting is in it: nobody but its owner may look inside (on Windows a
  // new directory inherits its parent's rights, as the system's own state folders expect).
  if (!ForcePrivateDirectory(directory))
    RaiseSystemError("Cannot create the state directory \"" + directory + "\"", GetLastError());
  return directory;
}

std::string PlatformStateFile(const std::string& file_name) {
  return EnsurePlatformStateDirectory() + PathDelimiter() + file_name;
}

}  // namespace qv::platform
