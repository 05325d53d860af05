#include "platform/services/systemd_integration_posix.h"

#include <systemd/sd-bus.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/process.h"
#include "platform/services/command_line_posix.h"
#include "platform/text/text_compare.h"

namespace qv::platform::posix {

namespace {

bool IsRoot() {
  return geteuid() == 0;
}

std::string HomeDirectory() {
  return GetEnvironmentVariable("HOME").value_or("/root");
}

// A word of a unit file line in double quotes: backslashes and quotes escaped, and the characters
// systemd would expand (% specifiers, $ variables) doubled.
std::string UnitQuoted(const std::string& word) {
  std::string quoted = "\"";
  for (const char c : word) {
    if (c == '\\' || c == '"') quoted += '\\';
    if (c == '%' || c == '$') quoted += c;
    if (c == '\n') {
      quoted += "\\n";
      continue;
    }
    quoted += c;
  }
  return quoted + "\"";
}

std::string WithoutSpecifiers(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '%') escaped += '%';
    if (c != '\n') escaped += c;
  }
  return escaped;
}

// The folders where a system puts its packages' programs, which a service never writes.
bool IsSystemProgramFolder(const std::string& folder) {
  for (const char* system : {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/lib"})
    if (folder == system || folder.starts_with(std::string(system) + "/")) return true;
  return false;
}

// What a system service is kept from: the system's files and folders (/usr, /boot, /etc) and the
// users' homes are read-only, the kernel's settings, modules, log and clock untouchable, no new
// privileges, namespaces, real-time scheduling, set-user-id files or writable executable memory,
// sockets only of the kinds a network service, syslog and systemd need, the system calls of a
// service, root's powers but binding a low port, reading any file (PAM) and owning its files, and
// files made readable to the group at most. It writes the state
// directory, /var/log/quorvane, and the program's own folder when that is not one of the system's
// (the request log and trace lie beside the program by default). PAM checks passwords as root,
// reading the system's password files, which this leaves readable.
std::string ConfinementLines(const std::string& state_directory, const std::string& program_folder) {
  std::string writable = UnitQuoted(state_directory) + " -/var/log/quorvane";
  if (!program_folder.empty() && !IsSystemProgramFolder(program_folder))
    writable += " " + UnitQuoted("-" + program_folder);
  return "ProtectSystem=full\n"
         "ProtectHome=read-only\n"
         "ReadWritePaths=" +
         writable +
         "\n"
         "PrivateTmp=yes\n"
         "PrivateMounts=yes\n"
         "NoNewPrivileges=yes\n"
         "ProtectKernelTunables=yes\n"
         "ProtectKernelModules=yes\n"
         "ProtectKernelLogs=yes\n"
         "ProtectControlGroups=yes\n"
         "ProtectClock=yes\n"
         "ProtectHostname=yes\n"
         "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n"
         "RestrictNamespaces=yes\n"
         "RestrictRealtime=yes\n"
         "RestrictSUIDSGID=yes\n"
         "LockPersonality=yes\n"
         "MemoryDenyWriteExecute=yes\n"
         "SystemCallArchitectures=native\n"
         "SystemCallFilter=@system-service\n"
         "SystemCallErrorNumber=EPERM\n"
         "CapabilityBoundingSet=CAP_NET_BIND_SERVICE CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH "
         "CAP_CHOWN CAP_FOWNER CAP_AUDIT_WRITE\n"
         "UMask=0027\n";
}

}  // namespace

std::string SystemdUnitDirectory() {
  if (auto configured = GetEnvironmentVariable("QUORVANE_SYSTEMD_UNIT_DIR");
      configured && !configured->empty())
    return *configured;
  if (IsRoot()) return "/etc/systemd/system";
  if (auto config = GetEnvironmentVariable("XDG_CONFIG_HOME"); config && !config->empty())
    return *config + "/systemd/user";
  return HomeDirectory() + "/.config/systemd/user";
}

std::string SystemdUnitName(const std::string& service_name) {
  static const char kHex[] = "0123456789abcdef";
  std::string name;
  const std::string folded = FoldTextCase(service_name);
  for (size_t i = 0; i < folded.size(); ++i) {
    const auto byte = static_cast<unsigned char>(folded[i]);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '_' ||
                       byte == '-' || (byte == '.' && i != 0);
    if (plain) {
      name += static_cast<char>(byte);
    } else {
      name += "\\x";
      name += kHex[byte >> 4];
      name += kHex[byte & 0x0F];
    }
  }
  return name + ".service";
}

std::string SystemdUnitPath(const std::string& service_name) {
  return SystemdUnitDirectory() + "/" + SystemdUnitName(service_name);
}

std::string PackagedSystemdUnitPath(const std::string& service_name) {
  std::vector<std::string> directories;
  if (auto configured = GetEnvironmentVariable("QUORVANE_SYSTEMD_PACKAGE_UNIT_DIR");
      configured && !configured->empty())
    directories.push_back(*configured);
  else if (const auto units = GetEnvironmentVariable("QUORVANE_SYSTEMD_UNIT_DIR");
           IsRoot() && (!units || units->empty()))
    // systemd's order: on a system whose /lib is not /usr/lib, the units below /usr/lib come first.
    directories = {"/usr/lib/systemd/system", "/lib/systemd/system"};
  for (const auto& directory : directories) {
    const std::string path = directory + "/" + SystemdUnitName(service_name);
    if (FileExists(path)) return path;
  }
  return std::string();
}

std::string SystemdUnitText(const ServiceEntry& entry, const std::string& state_directory,
                            const std::optional<std::string>& user) {
  return SystemdUnitText(entry, state_directory, user,
                         IsRoot() ? SystemdScope::kSystem : SystemdScope::kUser);
}

std::string SystemdUnitText(const ServiceEntry& entry, const std::string& state_directory,
                            const std::optional<std::string>& user, SystemdScope scope) {
  const std::vector<std::string> command = SplitCommandLine(ExpandEnvironmentText(entry.ImagePath));
  std::string exec_start;
  for (const auto& word : command) {
    if (!exec_start.empty()) exec_start += ' ';
    exec_start += UnitQuoted(word);
  }
  const std::string program = command.empty() ? std::string() : command.front();
  const size_t slash = program.rfind('/');
  const std::string program_folder = slash == std::string::npos ? std::string() : program.substr(0, slash);
  const std::string program_name = slash == std::string::npos ? program : program.substr(slash + 1);
  std::string text = "# The systemd unit of the service \"" + WithoutSpecifiers(entry.Name) +
                     "\" as its installation makes it (quorvane /INSTALL, or the package).\n"
                     "[Unit]\n"
                     "Description=" +
                     WithoutSpecifiers(entry.DisplayName.empty() ? entry.Name : entry.DisplayName) + "\n";
  if (!program_name.empty()) text += "Documentation=man:" + WithoutSpecifiers(program_name) + "(8)\n";
  text +=
      "After=network-online.target\n"
      "Wants=network-online.target\n"
      "\n"
      "[Service]\n"
      "Type=notify\n"
      "NotifyAccess=main\n"
      "ExecStart=" +
      exec_start + "\n" + "Environment=" + UnitQuoted("QUORVANE_STATE_DIR=" + state_directory) + "\n";
  if (user) text += "User=" + WithoutSpecifiers(*user) + "\n";
  text +=
      "Restart=on-failure\n"
      "RestartSec=5\n";
  // A user's manager cannot confine its services this way.
  if (scope == SystemdScope::kSystem) text += ConfinementLines(state_directory, program_folder);
  text +=
      "\n"
      "[Install]\n"
      "WantedBy=";
  // The system's units start with the machine, a user's with the user's manager.
  text += scope == SystemdScope::kSystem ? "multi-user.target\n" : "default.target\n";
  return text;
}

std::optional<std::vector<std::string>> SystemctlCommand() {
  std::vector<std::string> command;
  if (auto configured = GetEnvironmentVariable("QUORVANE_SYSTEMCTL")) {
    if (configured->empty()) return std::nullopt;
    command.push_back(*configured);
  } else {
    if (sd_booted() <= 0) return std::nullopt;
    command.push_back("systemctl");
  }
  if (!IsRoot()) command.push_back("--user");
  return command;
}

bool RunSystemctl(const std::vector<std::string>& arguments) {
  auto command = SystemctlCommand();
  if (!command) return false;
  const std::string program = command->front();
  std::vector<std::string> words(command->begin() + 1, command->end());
  words.insert(words.end(), arguments.begin(), arguments.end());
  uint32_t exit_code = 1;
  return RunProgram(program, words, &exit_code) && exit_code == 0;
}

bool UnderSystemdNotify() {
  const auto socket = GetEnvironmentVariable("NOTIFY_SOCKET");
  return socket && !socket->empty();
}

void NotifySystemd(const std::string& text) {
  if (UnderSystemdNotify()) sd_notify(0, text.c_str());
}

bool SystemIsShuttingDown() {
  if (sd_booted() <= 0) return false;
  sd_bus* raw = nullptr;
  // systemd's own socket answers also when the system bus has already gone; only root may use it.
  int result = -1;
  if (IsRoot()) {
    if (sd_bus_new(&raw) >= 0) {
      if (sd_bus_set_address(raw, "unix:path=/run/systemd/private") >= 0 && sd_bus_start(raw) >= 0) {
        result = 0;
      } else {
        sd_bus_unref(raw);
        raw = nullptr;
      }
    }
  }
  if (result < 0 && sd_bus_open_system(&raw) < 0) return false;
  const std::unique_ptr<sd_bus, decltype(&sd_bus_flush_close_unref)> bus(raw, &sd_bus_flush_close_unref);
  sd_bus_set_method_call_timeout(bus.get(), 1000000);
  sd_bus_error error = SD_BUS_ERROR_NULL;
  char* state = nullptr;
  const int got =
      sd_bus_get_property_string(bus.get(), "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                 "org.freedesktop.systemd1.Manager", "SystemState", &error, &state);
  sd_bus_error_free(&error);
  if (got < 0 || state == nullptr) return false;
  const bool stopping = std::string(state) == "stopping";
  std::free(state);
  return stopping;
}

}  // namespace qv::platform::posix
