#include "platform/services/service_package_files.h"

#include "platform/accounts/logon_configuration.h"
#include "platform/accounts/system_accounts_posix.h"
#include "platform/services/service_control.h"
#include "platform/services/systemd_integration_posix.h"

namespace qv::platform {

std::vector<ServicePackageFile> ServicePackageFiles(const std::string& service_name,
                                                    const std::string& display_name,
                                                    const std::string& command_line,
                                                    const std::string& state_directory,
                                                    const std::string& unit_directory) {
  posix::ServiceEntry entry;
  entry.Name = service_name;
  entry.DisplayName = display_name;
  entry.ImagePath = command_line;
  entry.ObjectName = kLocalSystemAccount;
  entry.Type = SERVICE_WIN32_OWN_PROCESS;
  entry.Start = SERVICE_AUTO_START;
  entry.ErrorControl = SERVICE_ERROR_NORMAL;
  // A package is installed by root, whose installation writes for the system's manager.
  return {{unit_directory + "/" + posix::SystemdUnitName(service_name),
           posix::SystemdUnitText(entry, state_directory, std::nullopt, posix::SystemdScope::kSystem)},
          {std::string("/etc/pam.d/") + posix::kPamServiceName, LogonConfigurationText()}};
}

}  // namespace qv::platform
