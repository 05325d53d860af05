#include "store/information_store.h"

#include <exception>

#include "config/settings_registry.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "platform/registry/registry.h"
#include "support/general_functions.h"
#include "support/win_error_text.h"

namespace qv {

namespace {

constexpr const char* kImagePath = "ImagePath";

// The text of a string value up to its first NUL; empty for values of other types.
std::string RegisteredProgram(platform::HKEY key) {
  uint32_t type = 0;
  std::string data;
  if (platform::RegQueryValueEx(key, kImagePath, &type, &data) != platform::ERROR_SUCCESS)
    return std::string();
  if (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ) return std::string();
  return data.substr(0, data.find('\0'));
}

StoreProgramRegistration Refused(const std::string& program, const std::string& reason) {
  return {StoreProgramRegistration::Outcome::kRefused, program, reason};
}

}  // namespace

std::string StoreProgramFile() {
  const auto named = platform::GetEnvironmentVariable(kStoreProgramVariable);
  if (named && !named->empty()) return *named;
  return ExtractFilePath(platform::GetModuleFileName()) + kStoreProgramName + platform::ProgramFileSuffix();
}

StoreProgramRegistration RegisterStoreProgram(const std::string& program, bool replace) {
  using Outcome = StoreProgramRegistration::Outcome;
  if (!platform::FileExists(program)) return {Outcome::kProgramMissing, program, std::string()};
  try {
    platform::RegKey key;
    uint32_t result =
        platform::RegCreateKeyEx(platform::HKEY_LOCAL_MACHINE, TWCRegistry::kExchangeStoreKey, 0,
                                 platform::KEY_QUERY_VALUE | platform::KEY_SET_VALUE, key.Receive(), nullptr);
    if (result != platform::ERROR_SUCCESS)
      return Refused(program, GetWinErrorText(static_cast<int32_t>(result)));
    if (!replace) {
      const std::string registered = RegisteredProgram(key.Get());
      if (!registered.empty()) return {Outcome::kKept, registered, std::string()};
    }
    result = platform::RegSetValueEx(key.Get(), kImagePath, platform::REG_SZ, program + '\0');
    if (result != platform::ERROR_SUCCESS)
      return Refused(program, GetWinErrorText(static_cast<int32_t>(result)));
    return {Outcome::kRegistered, program, std::string()};
  } catch (const std::exception& error) {
    // An unusable hive: the store works without the registration; the caller says so.
    return Refused(program, error.what());
  }
}

}  // namespace qv
