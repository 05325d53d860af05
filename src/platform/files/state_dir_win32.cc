// The platform state directory on Windows: QUORVANE_STATE_DIR, else Quorvane in the machine's
// program data folder (%ProgramData%, where services keep their data).
#include "platform/files/state_dir.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

#include <shlobj.h>

namespace qv::platform {

namespace {

std::string WithoutTrailingDelimiter(std::string path) {
  while (path.size() > 1 && IsPathDelimiter(path.back()) && !(path.size() == 3 && path[1] == ':'))
    path.pop_back();
  return path;
}

std::string ProgramDataFolder() {
  PWSTR folder = nullptr;
  std::string path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder)))
    path = win32::Narrow(folder);
  ::CoTaskMemFree(folder);
  if (path.empty()) path = GetEnvironmentVariable("ProgramData").value_or("C:\\ProgramData");
  return WithoutTrailingDelimiter(path);
}

}  // namespace

StateDirectoryOwner PlatformStateDirectoryOwner() {
  if (auto configured = GetEnvironmentVariable("QUORVANE_STATE_DIR"); configured && !configured->empty())
    return StateDirectoryOwner::kNamed;
  return StateDirectoryOwner::kMachine;
}

std::string MachineStateDirectory() {
  return ProgramDataFolder() + "\\Quorvane";
}

std::string PlatformStateDirectory() {
  if (auto configured = GetEnvironmentVariable("QUORVANE_STATE_DIR"); configured && !configured->empty())
    return WithoutTrailingDelimiter(*configured);
  return MachineStateDirectory();
}

}  // namespace qv::platform
