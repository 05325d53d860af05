#include "service/program_command_line.h"

#include <string_view>

#include "platform/text/ascii_text.h"

namespace qv {

const char* const kProgramUsage =
    "Usage: quorvane\n"
    "       quorvane /INSTALL [/ServiceStartName=ACCOUNT /Password=PASSWORD] [/SILENT]\n"
    "       quorvane /UNINSTALL [/SILENT]\n"
    "       quorvane --check\n"
    "       quorvane --help | --version\n"
    "\n"
    "The Quorvane service: it answers a WAP gateway's requests with the calendars of the calendar\n"
    "store. Its settings are registry values under HKLM\\Software\\HOLLBERG\\Qvan (qvanctl reg).\n"
    "\n"
    "  (nothing)   runs the service in the foreground until it is stopped (SIGTERM or Ctrl+C);\n"
    "              this is how systemd and \"qvanctl sc start\" start it\n"
    "  /INSTALL    registers the service (and the calendar store when nothing is registered); it\n"
    "              runs as root, or under the system account /ServiceStartName names\n"
    "  /UNINSTALL  stops the service when it runs and removes its registration\n"
    "  /SILENT     keeps the message of success quiet\n"
    "  --check     reads every setting and tells what is wrong with them, the log files, the\n"
    "              calendar store and the port; prints the settings in effect; exits with 1 when\n"
    "              something is wrong\n"
    "  --help      shows this text;  --version  shows the program's version\n"
    "\n"
    "Switches may be written with \"/\" or \"-\" in any letter case.\n";

namespace {

// The switch an argument names, folded to lower case without its "/", "-" or "--"; empty when the
// argument is no switch.
std::string SwitchName(const std::string& argument) {
  if (argument == "/?" || argument == "-?" || argument == "-h") return "help";
  std::string_view word = argument;
  if (word.starts_with("--"))
    word.remove_prefix(2);
  else if (word.starts_with("/") || word.starts_with("-"))
    word.remove_prefix(1);
  else
    return std::string();
  return AsciiLowerCase(word);
}

bool IsInstallationArgument(const std::string& argument) {
  const std::string folded = AsciiLowerCase(argument);
  return folded.starts_with("/servicestartname=") || folded.starts_with("/password=");
}

}  // namespace

ProgramAction ReadProgramCommandLine(const std::vector<std::string>& arguments) {
  bool install = false, uninstall = false, check = false, version = false, installation_argument = false;
  size_t switches = 0;
  for (const std::string& argument : arguments)
    if (SwitchName(argument) == "help") return ProgramAction::kHelp;
  for (const std::string& argument : arguments) {
    if (IsInstallationArgument(argument)) {
      installation_argument = true;
      continue;
    }
    const std::string name = SwitchName(argument);
    if (name == "install")
      install = true;
    else if (name == "uninstall")
      uninstall = true;
    else if (name == "check")
      check = true;
    else if (name == "version")
      version = true;
    else if (name != "silent")
      throw ECommandLineError("unknown argument \"" + argument + "\"");
    ++switches;
  }
  if (installation_argument && !install)
    throw ECommandLineError("/ServiceStartName= and /Password= go with /INSTALL");
  if ((check || version) && switches > 1)
    throw ECommandLineError(std::string(check ? "--check" : "--version") + " goes alone");
  if (version) return ProgramAction::kVersion;
  if (check) return ProgramAction::kCheck;
  if (install) return ProgramAction::kInstall;
  if (uninstall) return ProgramAction::kUninstall;
  return ProgramAction::kRunService;
}

}  // namespace qv
