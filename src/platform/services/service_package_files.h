// The files of a service's installation as a system package carries them, Linux only (Windows keeps
// its services in its own manager): the system's systemd unit and the PAM service file, in the very
// texts that root's installation writes, each with the absolute path it is installed at. A package
// that carries them lets installation find its unit already in place (service_control_posix.cc).
#pragma once

#include <string>
#include <vector>

namespace qv::platform {

struct ServicePackageFile {
  std::string Path;  // where it is installed, absolute
  std::string Text;
};

// For a service of the name and display name whose command line is `command_line`, run as
// LocalSystem with the state directory given: its unit in `unit_directory`, then the PAM file.
std::vector<ServicePackageFile> ServicePackageFiles(const std::string& service_name,
                                                    const std::string& display_name,
                                                    const std::string& command_line,
                                                    const std::string& state_directory,
                                                    const std::string& unit_directory);

}  // namespace qv::platform
