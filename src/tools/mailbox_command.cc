#include "tools/mailbox_command.h"

#include <algorithm>
#include <ostream>

#if QV_CALDAV
#include "exchange/caldav/collection_logon.h"
#include "store/caldav/collection_client.h"
#include "store/caldav/discovery.h"
#include "store/caldav/http_exchange.h"
#endif
#include "platform/accounts/accounts.h"
#include "platform/errors/last_error.h"
#include "platform/text/ascii_text.h"
#include "store/calendar_store.h"
#include "tools/account_error_text.h"
#include "tools/caldav_password.h"
#include "tools/mailbox_name.h"
#include "tools/store_program_note.h"
#include "tools/tool_command.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl mailbox add NAME --owner ACCOUNT [--display TEXT]\n"
    "       qvanctl mailbox add NAME --caldav URL [--caldav-user USER] [--calendar NAME] [--allow-http]\n"
    "                           [--discover [--password-stdin]] [--display TEXT]\n"
    "       qvanctl mailbox set NAME [--display TEXT] [--owner ACCOUNT | --caldav URL [--caldav-user USER]\n"
    "                                [--allow-http] | --no-caldav --owner ACCOUNT]\n"
    "       qvanctl mailbox delete NAME\n"
    "       qvanctl mailbox list\n"
    "\n"
    "Manages the mailboxes of the calendar store. A mailbox has the name the phone types (compared\n"
    "without regard to ASCII case), the name the service shows as the user's, and the account that owns\n"
    "it, whose password the phone gives; or, bound to a calendar collection of a CalDAV server, the\n"
    "server's user, whose password on that server the phone gives and whose calendar the phone then\n"
    "reads from the server. The URL may be the server's, the user's principal or calendar home, or\n"
    "the collection's: the collection is found with the first password at hand (the phone's first\n"
    "logon, or --discover now) and kept. Names that no phone could send (control characters,\n"
    "characters that Windows-1252 lacks) are refused.\n"
    "\n"
    "  add       creates a mailbox with an empty calendar (fill it with qvanctl calendar import)\n"
    "  set       changes a mailbox's display name, owner or collection; what is not given stays.\n"
    "            Binding it to another collection, or giving a bound mailbox an owner (--no-caldav),\n"
    "            empties its calendar: the server's is read at the next logon, an owned one takes an\n"
    "            import\n"
    "  delete    deletes a mailbox with its calendar\n"
    "  list      shows every mailbox with its owner (or its address, user and the collection found)\n"
    "            and its number of events\n"
    "\n"
    "Options:\n"
    "  --owner ACCOUNT      the owning account: \"name\" or \"domain\\name\", of this machine or of the\n"
    "                       system\n"
    "  --caldav URL         the CalDAV server, principal, calendar home or collection (https://...;\n"
    "                       http:// only to this machine unless --allow-http)\n"
    "  --caldav-user USER   the server's user; the mailbox's name when not given\n"
    "  --calendar NAME      at a server or home, the calendar of this display name or last path\n"
    "                       segment; else the server's default, else the first that takes events\n"
    "  --discover           find the collection now, as the user (the password is asked on the\n"
    "                       terminal), rather than at the first logon\n"
    "  --password-stdin     --discover: read the password from the first line of standard input\n"
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

// "https://host/ as user (http allowed), calendar \"work\", collection https://host/user/work/"
std::string BindingText(const CalDAVBinding& binding) {
  std::string text = binding.url + " as " + binding.user + (binding.allow_http ? " (http allowed)" : "");
  if (binding.from_template) text += " (from CalDAVCollectionTemplate)";
  if (!binding.calendar.empty()) text += ", calendar \"" + binding.calendar + "\"";
  if (binding.collection.empty()) return text + ", collection found at the first logon";
  if (binding.collection != binding.url) text += ", collection " + binding.collection;
  return text;
}

// The binding --caldav, --caldav-user, --calendar and --allow-http give; plain http to another
// machine is refused now, without --allow-http, rather than at the first logon (what is no URL at all
// the store refuses).
CalDAVBinding Binding(const ToolArguments& arguments, const std::string& name, const std::string& failure) {
  CalDAVBinding binding{*arguments.Value("--caldav"), arguments.Value("--caldav-user").value_or(name),
                        arguments.Has("--allow-http")};
  binding.calendar = arguments.Value("--calendar").value_or("");
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
  if (arguments.Has("--password-stdin") && !arguments.Has("--discover"))
    throw EUsageError("--password-stdin goes with --discover");
  CalDAVBinding binding = Binding(arguments, name, "cannot add \"" + name + "\"");
  if (arguments.Has("--discover")) {
#if QV_CALDAV
    const std::string password =
        ReadCalDAVPassword(arguments.Has("--password-stdin"), io, binding.user, binding.url);
    try {
      binding.collection = caldav::FindCollection({binding.url, binding.user, password, binding.allow_http},
                                                  binding.calendar, caldav::MachineCollectionSettings().http)
                               .url;
    } catch (const caldav::ECalDAVLogonRefused&) {
      throw EToolFailure("cannot add \"" + name + "\": the CalDAV server refused the password of " +
                         binding.user);
    } catch (const caldav::ECalDAVUnavailable& error) {
      throw EToolFailure("cannot add \"" + name + "\": the CalDAV server " + error.what());
    }
#else
    throw EToolFailure("cannot add \"" + name + "\": this build does not reach CalDAV servers");
#endif
  }
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
  try {
    store.AddCalDAVMailbox(name, display, binding);
  } catch (const ECalendarStoreError& error) {
    throw EToolFailure("cannot add \"" + name + "\": " + error.what());
  }
  io.out << "Added mailbox \"" << name << "\" (" << display << "), bound to the CalDAV address "
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
  if (arguments.Has("--caldav-user") || arguments.Has("--allow-http") || arguments.Has("--calendar") ||
      arguments.Has("--discover") || arguments.Has("--password-stdin"))
    throw EUsageError("--caldav-user, --calendar, --allow-http and --discover go with --caldav URL");
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
  if (!arguments.Has("--caldav") &&
      (arguments.Has("--caldav-user") || arguments.Has("--allow-http") || arguments.Has("--calendar")))
    throw EUsageError("--caldav-user, --calendar and --allow-http go with --caldav URL");
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
      {{"add",
        {{"--allow-http", "--discover", "--password-stdin"},
         {"--owner", "--display", "--caldav", "--caldav-user", "--calendar"}},
        Add},
       {"set",
        {{"--allow-http", "--no-caldav"}, {"--owner", "--display", "--caldav", "--caldav-user", "--calendar"}},
        Set},
       {"delete", {}, Delete},
       {"list", {}, List}}};
  return RunToolCommand(kCommand, args, io);
}

}  // namespace qv::tools
