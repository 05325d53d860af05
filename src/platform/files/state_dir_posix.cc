// The platform state directory on Linux: QUORVANE_STATE_DIR, else /var/lib/quorvane for root and the
// XDG state folder for other users (state_dir.h).
#include <pwd.h>
#include <unistd.h>

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

}  // namespace qv::platform
