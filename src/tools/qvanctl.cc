#include "tools/qvanctl.h"

#include <ostream>

#include "support/program_version.h"
#include "support/state_directory_check.h"
#include "tools/account_command.h"
#include "tools/caldav_command.h"
#include "tools/calendar_command.h"
#include "tools/events_command.h"
#include "tools/mailbox_command.h"
#include "tools/reg_command.h"
#include "tools/sc_command.h"
#include "tools/tool_arguments.h"

namespace qv::tools {

const std::vector<Subcommand>& Subcommands() {
  static const std::vector<Subcommand> subcommands = {
      {"reg", "the registry: query, add, delete, export and import keys and values", RegCommand},
      {"events", "the event log: list events with their texts, write an event", RunEventsCommand},
      {"account", "the accounts of this machine: add, passwd, delete, disable, enable, list",
       RunAccountCommand},
      {"mailbox", "the mailboxes of the calendar store: add, delete, list", RunMailboxCommand},
      {"calendar", "the calendars of the calendar store: import, export", RunCalendarCommand},
      {"caldav", "what a CalDAV server offers: calendars", RunCalDAVCommand},
      {"sc", "service control: query, start, stop, pause, continue a service", RunScCommand},
  };
  return subcommands;
}

namespace {

void PrintUsage(std::ostream& out) {
  out << "Usage: qvanctl SUBCOMMAND [ARGUMENTS]\n\nSubcommands:\n";
  for (const auto& subcommand : Subcommands())
    out << "  " << subcommand.name << std::string(10 - std::string(subcommand.name).size(), ' ')
        << subcommand.summary << "\n";
  out << "\nRun \"qvanctl SUBCOMMAND --help\" for the arguments of one subcommand; \"qvanctl --version\" "
         "shows\n"
         "the version.\n";
}

// Help needs no state: a subcommand's help, or no operation at all (a usage mistake).
bool AsksForHelp(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "help") return true;
  for (const std::string& arg : args)
    if (arg == "--")
      break;
    else if (IsHelpOption(arg, OptionSpelling::kWindows))
      return true;
  return false;
}

}  // namespace

int RunQvanctl(const std::vector<std::string>& args, ToolStreams& io) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "/?" || args[0] == "help") {
    PrintUsage(args.empty() ? io.err : io.out);
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version") {
    io.out << ProgramVersionText("qvanctl");
    return 0;
  }
  // Each subcommand tells its own mistakes and failures (tool_command.h).
  for (const auto& subcommand : Subcommands()) {
    if (args[0] != subcommand.name) continue;
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (!AsksForHelp(rest)) {
      const std::string refusal =
          StateDirectoryRefusal("qvanctl " + args[0] + (rest.empty() ? std::string() : " " + rest[0]));
      if (!refusal.empty()) {
        io.err << "qvanctl: " << refusal << "\n";
        return 1;
      }
    }
    return subcommand.run(rest, io);
  }
  io.err << "qvanctl: unknown subcommand \"" << args[0] << "\" (try qvanctl --help)\n";
  return 2;
}

}  // namespace qv::tools
