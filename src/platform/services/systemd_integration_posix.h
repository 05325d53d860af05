// The service control manager's ties to systemd: the unit that mirrors a service entry, systemctl
// calls, readiness and status notifications, and whether systemd is taking the system down. Internal
// to the POSIX service control manager.
//
// A unit is Type=notify, ExecStart= the entry's command line, Environment=QUORVANE_STATE_DIR= the
// installer's state directory, User= the system account when one is named, Restart=on-failure,
// WantedBy=multi-user.target.
//
// Paths and programs, each redirectable by an environment variable (tests use them):
//   QUORVANE_SYSTEMD_UNIT_DIR  where units are written: default /etc/systemd/system for root,
//                              ${XDG_CONFIG_HOME:-$HOME/.config}/systemd/user for other users;
//   QUORVANE_SYSTEMD_PACKAGE_UNIT_DIR  where a system package's units are found: default
//                              /usr/lib/systemd/system and /lib/systemd/system for root; none for
//                              other users, nor when QUORVANE_SYSTEMD_UNIT_DIR alone is set;
//   QUORVANE_SYSTEMCTL         the systemctl program: set and empty, systemd is never asked; unset,
//                              "systemctl" (with --user for other users than root) when systemd runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/services/service_entry_posix.h"

namespace qv::platform::posix {

std::string SystemdUnitDirectory();
// "<name>.service": the service's name folded to lower case, with bytes outside [a-z0-9_.-] escaped
// as systemd escapes them (\xNN); so "Quorvane" has the unit quorvane.service.
std::string SystemdUnitName(const std::string& service_name);
std::string SystemdUnitPath(const std::string& service_name);
// The unit of the service that a system package carries, when there is one (empty otherwise). Such a
// unit is the system's: installation writes none of its own when it would be the same text, and
// removal leaves the file to the package.
std::string PackagedSystemdUnitPath(const std::string& service_name);

// Whose manager runs a unit: the system's (started with the machine) or the installing user's.
enum class SystemdScope { kSystem, kUser };

// The unit of a service entry: the entry's program in the foreground, as a notify service whose
// readiness and status it reports itself, restarted on failure, under `user` when given (else as the
// manager: root), with the state directory of the installation. The first form is for the manager of
// this process's user: the system's for root.
std::string SystemdUnitText(const ServiceEntry& entry, const std::string& state_directory,
                            const std::optional<std::string>& user);
std::string SystemdUnitText(const ServiceEntry& entry, const std::string& state_directory,
                            const std::optional<std::string>& user, SystemdScope scope);

// systemctl with its scope arguments, or nothing when systemd is not to be asked.
std::optional<std::vector<std::string>> SystemctlCommand();
// Runs systemctl with the arguments; true when it ended with 0. Nothing is run (and false given) when
// systemd is not to be asked.
bool RunSystemctl(const std::vector<std::string>& arguments);

// Whether this process was started by systemd as a notify service (NOTIFY_SOCKET is set).
bool UnderSystemdNotify();
// Sends a notification ("READY=1\nSTATUS=Running") when under systemd; nothing otherwise.
void NotifySystemd(const std::string& text);

// True when systemd reports the system as stopping (a shutdown or reboot is under way). False when
// systemd does not run or cannot be asked within a second.
bool SystemIsShuttingDown();

}  // namespace qv::platform::posix
