// The PAM service file "quorvane". It takes the system's usual authentication and account checks and
// keeps accounts below uid 1000 (root, the system's service accounts) out of the phones' logons.
// pam_unix checks other users' passwords only for root (or a member of group shadow), so a service
// whose mailboxes belong to system accounts runs as root. Without the file PAM falls back on
// /etc/pam.d/other.
#include <unistd.h>

#include "platform/accounts/logon_configuration.h"
#include "platform/accounts/system_accounts_posix.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"

namespace qv::platform {

const std::string& LogonConfigurationText() {
  static const std::string text =
      "# Quorvane: passwords of the system's accounts that own mailboxes (network logons of the phones).\n"
      "@include common-auth\n"
      "account  requisite  pam_succeed_if.so uid >= 1000 quiet\n"
      "@include common-account\n";
  return text;
}

std::string LogonConfigurationPath() {
  std::string folder;
  if (auto configured = GetEnvironmentVariable("QUORVANE_PAM_DIR"); configured && !configured->empty())
    folder = *configured;
  else if (geteuid() == 0)
    folder = "/etc/pam.d";
  else
    return std::string();
  return folder + "/" + posix::kPamServiceName;
}

bool InstallLogonConfiguration(bool* written) {
  *written = false;
  const std::string path = LogonConfigurationPath();
  if (path.empty() || FileExists(path)) return true;
  if (!WriteWholeFile(path, LogonConfigurationText())) return false;
  *written = true;
  return true;
}

bool RemoveLogonConfiguration() {
  const std::string path = LogonConfigurationPath();
  std::string content;
  if (path.empty() || !ReadWholeFile(path, &content) || content != LogonConfigurationText()) return true;
  return DeleteFile(path);
}

}  // namespace qv::platform
