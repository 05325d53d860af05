#include <pwd.h>
#include <unistd.h>

#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"
#include "platform/process/environment.h"

namespace qv::platform {

namespace {

std::string HomeDirectory() {
  if (auto home = GetEnvironmentVariable("HOME"); home && !home->empty()) return *home;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found != nullptr)
    return found->pw_dir;
  return "/tmp";
}

std::string WithoutTrailingDelimiter(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

StateDirectoryOwner PlatformStateDirectoryOwner() {
  if (auto configured = GetEnvironmentVariable("QUORVANE_STATE_DIR"); configured && !configured->empty())
    return StateDirectoryOwner::kNamed;
  return geteuid() == 0 ? StateDirectoryOwner::kMachine : StateDirectoryOwner::kUser;
}

std::string MachineStateDirectory() {
  return "/var/lib/quorvane";
}

std::string PlatformStateDirectory() {
  if (auto configured = GetEnvironmentVariable("QUORVANE_STATE_DIR"); configured && !configured->empty())
    return WithoutTrailingDelimiter(*configured);
  if (geteuid() == 0) return MachineStateDirectory();
  if (auto xdg = GetEnvironmentVariable("XDG_STATE_HOME"); xdg && !xdg->empty())
    return WithoutTrailingDelimiter(*xdg) + "/quorvane";
  return WithoutTrailingDelimiter(HomeDirectory()) + "/.local/state/quorvane";
}

std::string EnsurePlatformStateDirectory() {
  const std::string directory = PlatformStateDirectory();
  // Every calendar, account and setting is in it: nobody but its owner may look inside.
  if (!ForcePrivateDirectory(directory)) {
    const uint32_t code = GetLastError();
    throw EWin32Error("Cannot create the state directory \"" + directory + "\": " + SystemErrorText(code),
                      code);
  }
  return directory;
}

std::string PlatformStateFile(const std::string& file_name) {
  return EnsurePlatformStateDirectory() + "/" + file_name;
}

}  // namespace qv::platform
