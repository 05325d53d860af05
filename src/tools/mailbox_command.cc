#include "tools/mailbox_command.h"

#include <algorithm>
#include <ostream>

#include "exchange/calendar_store.h"
#include "platform/accounts.h"
#include "platform/last_error.h"
#include "support/win_error_text.h"
#include "tools/store_program_note.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl mailbox add NAME --owner ACCOUNT [--display TEXT]\n"
    "       qvanctl mailbox delete NAME\n"
    "       qvanctl mailbox list\n"
    "\n"
    "Manages the mailboxes of the calendar store. A mailbox has the name the phone types (compared\n"
    "without regard to ASCII case), the name the service shows as the user's, and the account that owns\n"
    "it, whose password the phone gives.\n"
    "\n"
    "  add       creates a mailbox with an empty calendar (fill it with qvanctl calendar import)\n"
    "  delete    deletes a mailbox with its calendar\n"
    "  list      shows every mailbox with its owner and its number of events\n"
    "\n"
    "Options:\n"
    "  --owner ACCOUNT   the owning account: \"name\" or \"domain\\name\", of this machine or of the system\n"
    "  --display TEXT    the name shown as the user's; the mailbox's name when not given\n";

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

// The service takes a user named "Unknown" for a failed logon, so such a mailbox could never be opened.
constexpr const char* kUnknownUser = "Unknown";

int UsageError(ToolStreams& io, const std::string& text) {
  io.err << "qvanctl mailbox: " << text << " (try qvanctl mailbox --help)\n";
  return kUsageError;
}

int Failed(ToolStreams& io, const std::string& text) {
  io.err << "qvanctl mailbox: " << text << "\n";
  return kFailed;
}

std::string LastErrorMessage() {
  return GetWinErrorText(static_cast<int32_t>(platform::GetLastError()));
}

// "DOMAIN\name (S-1-...)", or the SID alone when no authority knows it any more.
std::string OwnerText(const platform::Sid& sid) {
  std::string name, domain;
  if (!platform::LookupAccountSid(sid, &name, &domain))
    return platform::SidToText(sid) + " (unknown account)";
  return domain + "\\" + name + " (" + platform::SidToText(sid) + ")";
}

int Add(ToolStreams& io, const std::string& name, const std::string& owner, const std::string& display) {
  if (display == kUnknownUser)
    return Failed(io, "cannot add \"" + name + "\": a mailbox shown as \"Unknown\" could never log on");
  platform::Sid sid;
  std::string domain;
  platform::SidNameUse use = platform::SidNameUse::kUnknown;
  if (!platform::LookupAccountName(owner, &sid, &domain, &use))
    return Failed(io, "cannot add \"" + name + "\": the account \"" + owner + "\": " + LastErrorMessage());
  if (use != platform::SidNameUse::kUser)
    return Failed(io, "cannot add \"" + name + "\": \"" + owner + "\" is not a user account");
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, "qvanctl mailbox", io.err);
  store.AddMailbox(name, display, sid);
  io.out << "Added mailbox \"" << name << "\" (" << display << "), owned by " << OwnerText(sid) << ".\n";
  return 0;
}

int Delete(ToolStreams& io, const std::string& name) {
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, "qvanctl mailbox", io.err);
  if (!store.DeleteMailbox(name))
    return Failed(io, "cannot delete \"" + name + "\": there is no such mailbox");
  io.out << "Deleted mailbox \"" << name << "\" with its calendar.\n";
  return 0;
}

int List(ToolStreams& io) {
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, "qvanctl mailbox", io.err);
  const std::vector<MailboxRecord> mailboxes = store.ListMailboxes();
  if (mailboxes.empty()) {
    io.out << "No mailboxes.\n";
    return 0;
  }
  size_t name_width = 4, display_width = 12;
  for (const MailboxRecord& mailbox : mailboxes) {
    name_width = std::max(name_width, mailbox.name.size());
    display_width = std::max(display_width, mailbox.display_name.size());
  }
  const auto column = [](const std::string& text, size_t width) {
    return text + std::string(width - text.size() + 2, ' ');
  };
  io.out << column("NAME", name_width) << column("DISPLAY NAME", display_width) << column("EVENTS", 6)
         << "OWNER\n";
  for (const MailboxRecord& mailbox : mailboxes) {
    io.out << column(mailbox.name, name_width) << column(mailbox.display_name, display_width)
           << column(std::to_string(mailbox.events), 6) << OwnerText(mailbox.owner) << "\n";
  }
  return 0;
}

}  // namespace

int RunMailboxCommand(const std::vector<std::string>& args, ToolStreams& io) {
  if (args.empty()) return UsageError(io, "an action is missing");
  const std::string& action = args[0];
  if (action == "--help" || action == "-h" || action == "help") {
    io.out << kUsage;
    return 0;
  }
  std::vector<std::string> operands;
  std::optional<std::string> owner, display;
  bool options_ended = false;  // after "--" every argument is a name
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      io.out << kUsage;
      return 0;
    } else if ((arg == "--owner" || arg == "--display") && action == "add") {
      if (i + 1 >= args.size()) return UsageError(io, arg + " needs a value");
      (arg == "--owner" ? owner : display) = args[++i];
    } else if ((arg.rfind("--owner=", 0) == 0 || arg.rfind("--display=", 0) == 0) && action == "add") {
      const size_t equals = arg.find('=');
      (arg[2] == 'o' ? owner : display) = arg.substr(equals + 1);
    } else {
      return UsageError(io, "unknown option \"" + arg + "\"");
    }
  }
  if (action == "list") {
    if (!operands.empty()) return UsageError(io, "list takes no name");
    return List(io);
  }
  if (action != "add" && action != "delete") return UsageError(io, "unknown action \"" + action + "\"");
  if (operands.size() != 1) return UsageError(io, action + " takes one mailbox name");
  if (action == "delete") return Delete(io, operands[0]);
  if (!owner || owner->empty()) return UsageError(io, "add needs --owner ACCOUNT");
  return Add(io, operands[0], *owner, display.value_or(operands[0]));
}

}  // namespace qv::tools
