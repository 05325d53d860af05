#include "tools/mailbox_command.h"

#include <algorithm>
#include <ostream>

#if QV_CALDAV
#include "store/caldav/http_exchange.h"
#endif
#include "platform/accounts/accounts.h"
#include "platform/errors/last_error.h"
#include "platform/text/ascii_text.h"
#include "store/calendar_store.h"
#include "tools/account_error_text.h"
#include "tools/mailbox_name.h"
#include "tools/store_program_note.h"
#include "tools/tool_command.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl mailbox add NAME --owner ACCOUNT [--display TEXT]\n"
    "       qvanctl mailbox add NAME --caldav URL [--caldav-user USER] [--allow-http] [--display TEXT]\n"
    "       qvanctl mailbox set NAME [--display TEXT] [--owner ACCOUNT | --caldav URL [--caldav-user USER]\n"
    "                                [--allow-http] | --no-caldav --owner ACCOUNT]\n"
    "       qvanctl mailbox delete NAME\n"
    "       qvanctl mailbox list\n"
    "\n"
    "Manages the mailboxes of the calendar store. A mailbox has the name the phone types (compared\n"
    "without regard to ASCII case), the name the service shows as the user's, and the account that owns\n"
    "it, whose password the phone gives; or, bound to a calendar collection of a CalDAV server, the\n"
    "server's user, whose password on that server the phone gives and whose calendar the phone then\n"
    "reads from the server. Names that no phone could send (control characters, characters that\n"
    "Windows-1252 lacks) are refused.\n"
    "\n"
    "  add       creates a mailbox with an empty calendar (fill it with qvanctl calendar import)\n"
    "  set       changes a mailbox's display name, owner or collection; what is not given stays.\n"
    "            Binding it to another collection, or giving a bound mailbox an owner (--no-caldav),\n"
    "            empties its calendar: the server's is read at the next logon, an owned one takes an\n"
    "            import\n"
    "  delete    deletes a mailbox with its calendar\n"
    "  list      shows every mailbox with its owner (or its collection and user) and its number of\n"
    "            events\n"
    "\n"
    "Options:\n"
    "  --owner ACCOUNT      the owning account: \"name\" or \"domain\\name\", of this machine or of the\n"
    "                       system\n"
    "  --caldav URL         the calendar collection (https://...; http:// only to this machine unless\n"
    "                       --allow-http)\n"
    "  --caldav-user USER   the server's user; the mailbox's name when not given\n"
    "  --allow-http         plain http to another machine: the password then travels unencrypted\n"
    "  --display TEXT       the name shown as the user's; the mailbox's name when not given\n"
    "  --no-caldav          set: the mailbox no longer shows a collection; give its --owner\n";

// The service takes a user named "Unknown" for a failed logon, so such a mailbox could never be opened.
constexpr const char* kUnknownUser = "Unknown";

constexpr const char* kToolName = "qvanctl mailbox";

// The one mailbox name the operation takes.
const std::string& MailboxName(const ToolArguments& arguments, const std::string& action) {
  return arguments.Positional(1, 1, action + " takes one mailbox name")[0];
}

// "DOMAIN\name (S-1-...)", or the SID alone when no authority knows it any more.
std::string OwnerText(const platform::Sid& sid) {
  std::string name, domain;
  if (!platform::LookupAccountSid(sid, &name, &domain))
    return platform::SidToText(sid) + " (unknown account)";
  return domain + "\\" + name + " (" + platform::SidToText(sid) + ")";
}

// "https://host/cal/ as user (http allowed)"
std::string BindingText(const CalDAVBinding& binding) {
  return binding.url + " as " + binding.user + (binding.allow_http ? " (http allowed)" : "");
}

// The binding --caldav, --caldav-user and --allow-http give; plain http to another machine is refused
// now, without --allow-http, rather than at the first logon (what is no URL at all the store refuses).
CalDAVBinding Binding(const ToolArguments& arguments, const std::string& name, const std::string& failure) {
  const CalDAVBinding binding{*arguments.Value("--caldav"), arguments.Value("--caldav-user").value_or(name),
                              arguments.Has("--allow-http")};
#if QV_CALDAV
  try {
    if (AsciiLowerCase(binding.url).starts_with("http://"))
      caldav::CheckTransport(binding.url, binding.allow_http);
  } catch (const caldav::ECalDAVUnavailable& error) {
    throw EToolFailure(failure + ": " + error.what() + " (--allow-http)");
  }
#else
  static_cast<void>(failure);
#endif
  return binding;
}

// The SID of the --owner account, which must be a user's.
platform::Sid OwnerSid(const std::string& owner, const std::string& failure) {
  platform::Sid sid;
  std::string domain;
  platform::SidNameUse use = platform::SidNameUse::kUnknown;
  if (!platform::LookupAccountName(owner, &sid, &domain, &use))
    throw EToolFailure(failure + ": " + AccountErrorText(platform::GetLastError(), owner));
  if (use != platform::SidNameUse::kUser)
    throw EToolFailure(failure + ": \"" + owner + "\" is not a user account");
  return sid;
}

int AddCalDAV(const ToolArguments& arguments, ToolStreams& io, const std::string& name,
              const std::string& display, const std::string& note) {
  if (arguments.Has("--owner")) throw EUsageError("add takes --owner or --caldav, not both");
  const CalDAVBinding binding = Binding(arguments, name, "cannot add \"" + name + "\"");
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
  try {
    store.AddCalDAVMailbox(name, display, binding);
  } catch (const ECalendarStoreError& error) {
    throw EToolFailure("cannot add \"" + name + "\": " + error.what());
  }
  io.out << "Added mailbox \"" << name << "\" (" << display << "), showing the CalDAV collection "
         << BindingText(binding) << ".\n";
  if (!note.empty()) io.out << "Note: " << note << ".\n";
  return 0;
}

int Add(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = MailboxName(arguments, "add");
  const MailboxNameCheck name_check = CheckMailboxName(name);
  if (!name_check.refusal.empty()) throw EToolFailure("cannot add \"" + name + "\": " + name_check.refusal);
  const std::string display = arguments.Value("--display").value_or(name);
  if (display == kUnknownUser)
    throw EToolFailure("cannot add \"" + name + "\": a mailbox shown as \"Unknown\" could never log on");
  if (arguments.Has("--caldav")) return AddCalDAV(arguments, io, name, display, name_check.note);
  if (arguments.Has("--caldav-user") || arguments.Has("--allow-http"))
    throw EUsageError("--caldav-user and --allow-http go with --caldav URL");
  const std::string owner = arguments.Value("--owner").value_or("");
  if (owner.empty()) throw EUsageError("add needs --owner ACCOUNT or --caldav URL");
  const platform::Sid sid = OwnerSid(owner, "cannot add \"" + name + "\"");
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
  store.AddMailbox(name, display, sid);
  io.out << "Added mailbox \"" << name << "\" (" << display << "), owned by " << OwnerText(sid) << ".\n";
  if (!name_check.note.empty()) io.out << "Note: " << name_check.note << ".\n";
  return 0;
}

int Set(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = MailboxName(arguments, "set");
  const std::string failure = "cannot change \"" + name + "\"";
  if (arguments.Has("--caldav") && (arguments.Has("--owner") || arguments.Has("--no-caldav")))
    throw EUsageError("set takes --caldav URL, or --owner ACCOUNT (with --no-caldav for a bound mailbox)");
  if (!arguments.Has("--caldav") && (arguments.Has("--caldav-user") || arguments.Has("--allow-http")))
    throw EUsageError("--caldav-user and --allow-http go with --caldav URL");
  if (arguments.Has("--no-caldav") && !arguments.Has("--owner"))
    throw EUsageError("--no-caldav needs the mailbox's new --owner ACCOUNT");
  if (!arguments.Has("--display") && !arguments.Has("--owner") && !arguments.Has("--caldav"))
    throw EUsageError("set needs --display, --owner or --caldav");
  CalendarStore::MailboxChange change;
  change.display_name = arguments.Value("--display");
  if (change.display_name == kUnknownUser)
    throw EToolFailure(failure + ": a mailbox shown as \"Unknown\" could never log on");
  if (const auto owner = arguments.Value("--owner")) change.owner = OwnerSid(*owner, failure);
  if (arguments.Has("--caldav")) change.caldav = Binding(arguments, name, failure);
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
  const std::optional<MailboxRecord> before = store.FindMailbox(name);
  if (!before) throw EToolFailure(failure + ": there is no such mailbox");
  // An owned mailbox keeps its owner until it is given a collection; a bound one is unbound on purpose.
  if (change.owner && before->caldav && !arguments.Has("--no-caldav"))
    throw EUsageError("\"" + name +
                      "\" shows a CalDAV collection: give --no-caldav with --owner to unbind it");
  bool emptied = false;
  try {
    emptied = store.ChangeMailbox(name, change);
  } catch (const ECalendarStoreError& error) {
    throw EToolFailure(failure + ": " + error.what());
  }
  const MailboxRecord after = *store.FindMailbox(name);
  io.out << "Changed mailbox \"" << after.name << "\" (" << after.display_name << "), "
         << (after.caldav ? "showing the CalDAV collection " + BindingText(*after.caldav)
                          : "owned by " + OwnerText(after.owner))
         << ".\n";
  if (emptied)
    io.out << (after.caldav ? "Its calendar was emptied: the next logon reads the collection.\n"
                            : "Its calendar was emptied: fill it with qvanctl calendar import.\n");
  return 0;
}

int Delete(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = MailboxName(arguments, "delete");
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
  if (!store.DeleteMailbox(name))
    throw EToolFailure("cannot delete \"" + name + "\": there is no such mailbox");
  io.out << "Deleted mailbox \"" << name << "\" with its calendar.\n";
  return 0;
}

int List(const ToolArguments& arguments, ToolStreams& io) {
  arguments.Positional(0, 0, "list takes no name");
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
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
           << column(std::to_string(mailbox.events), 6)
           << (mailbox.caldav ? "CalDAV " + BindingText(*mailbox.caldav) : OwnerText(mailbox.owner)) << "\n";
  }
  return 0;
}

}  // namespace

int RunMailboxCommand(const std::vector<std::string>& args, ToolStreams& io) {
  static const ToolCommand kCommand{
      kToolName,
      kUsage,
      "action",
      OptionSpelling::kDashes,
      {{"add", {{"--allow-http"}, {"--owner", "--display", "--caldav", "--caldav-user"}}, Add},
       {"set", {{"--allow-http", "--no-caldav"}, {"--owner", "--display", "--caldav", "--caldav-user"}}, Set},
       {"delete", {}, Delete},
       {"list", {}, List}}};
  return RunToolCommand(kCommand, args, io);
}

}  // namespace qv::tools
