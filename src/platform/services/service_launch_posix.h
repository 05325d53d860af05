// Starting a service's program the way the manager does: detached from the starter (a session of its
// own, working folder "/", standard input from /dev/null, standard output and error to the service's
// console file), under the account of its entry. Internal to the POSIX service control manager.
//
// Accounts. "LocalSystem" is whoever starts the service: root when root starts it (as at boot, through
// systemd), the calling user otherwise. A system account (Unix User, S-1-22-1-uid) is switched to when
// root starts the service (user id, group id, the account's groups, HOME, USER and LOGNAME); a caller
// that is not root can start it only when the account is the caller's own. The machine's own accounts
// (made with qvanctl account) have no system identity to run a program under and are refused when the
// entry is created. Root hands the service's run folder to its account at creation (for systemd's
// start) and at each start; that the account can reach the state directory and read the hive is the
// administrator's choice of permissions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::platform::posix {

struct ServiceAccount {
  bool SwitchUser = false;
  uint32_t Uid = 0;
  uint32_t Gid = 0;
  std::vector<uint32_t> Groups;
  std::string UserName;
  std::string Home;
};

// Whether an entry may name the account: "LocalSystem" (any case, also ".\LocalSystem") or a system
// account. Gives the system account's name for the systemd unit (nothing for LocalSystem).
// ERROR_INVALID_SERVICE_ACCOUNT otherwise.
uint32_t CheckServiceAccount(const std::string& object_name, std::optional<std::string>* system_user);

// How a service of the account is run by this process. ERROR_SERVICE_LOGON_FAILED when it cannot be.
uint32_t ResolveServiceAccount(const std::string& object_name, ServiceAccount* account);

// Starts the program (command[0], a full path) detached, with this process's environment changed by
// the pairs (an empty value removes a variable). Gives its process id. False with the last error set
// when it cannot be started: the error of executing the program (ERROR_FILE_NOT_FOUND ...) or
// ERROR_SERVICE_LOGON_FAILED when the account could not be taken on.
bool LaunchDetachedProcess(const std::vector<std::string>& command, const ServiceAccount& account,
                           const std::string& console_file,
                           const std::vector<std::pair<std::string, std::string>>& environment_changes,
                           uint32_t* process_id);

// Whether a process of the id exists and has not ended (a zombie counts as ended).
bool ProcessIsAlive(uint32_t process_id);

// Gives a folder and the files in it to the account that the service runs under (root starting a
// service of another account); nothing to do for a service that runs as its starter. False with the last
// error set.
bool HandOverFolder(const std::string& path, const ServiceAccount& account);

// Lets the account's group into the state directory (its group, 0750), which is its owner's alone
// otherwise: a service that runs under another account reaches its run folder and what the state
// directory shares with it. Nothing to do for a service that runs as its starter. False with the last
// error set.
bool ShareStateDirectory(const std::string& path, const ServiceAccount& account);

}  // namespace qv::platform::posix
