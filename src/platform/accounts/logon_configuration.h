// The system's configuration of the logons that LogonUser makes for the system's accounts, which the
// service's installation puts in place. On Linux it is the PAM service file "quorvane" (PAM reads it
// from /etc/pam.d); Windows needs none.
//
// The folder can be redirected with QUORVANE_PAM_DIR (tests do). Without it, only root installs the
// file: other users could not write /etc/pam.d, and only root can check the system's passwords anyway.
#pragma once

#include <string>

namespace qv::platform {

// The text installation writes.
const std::string& LogonConfigurationText();
// Where it goes; empty when this process installs none.
std::string LogonConfigurationPath();

// Writes the file when it is missing (an existing one, changed by the administrator or not, is kept).
// `written` tells whether this call wrote it. False with the last error set when it cannot be written.
bool InstallLogonConfiguration(bool* written);

// Removes the file when it is still what installation writes; one the administrator has changed stays.
// False with the last error set when it cannot be removed.
bool RemoveLogonConfiguration();

}  // namespace qv::platform
