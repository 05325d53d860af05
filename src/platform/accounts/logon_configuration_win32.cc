// Windows checks the passwords of its accounts itself: the service's installation puts no logon
// configuration in place.
#include "platform/accounts/logon_configuration.h"

namespace qv::platform {

const std::string& LogonConfigurationText() {
  static const std::string none;
  return none;
}

std::string LogonConfigurationPath() {
  return std::string();
}

bool InstallLogonConfiguration(bool* written) {
  *written = false;
  return true;
}

bool RemoveLogonConfiguration() {
  return true;
}

}  // namespace qv::platform
