#include "tools/caldav_command.h"

#include <ostream>

#if QV_CALDAV
#include "exchange/caldav/collection_logon.h"
#include "store/caldav/collection_client.h"
#include "store/caldav/discovery.h"
#endif
#include "tools/caldav_password.h"
#include "tools/tool_command.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl caldav calendars URL [--user NAME] [--allow-http] [--password-stdin]\n"
    "\n"
    "Asks a CalDAV server what it offers, as the service does for a mailbox bound to it.\n"
    "\n"
    "  calendars   lists the calendars that URL offers the user: the server's address, the user's\n"
    "              principal or calendar home, or a calendar collection. \"*\" marks the one a\n"
    "              mailbox bound to URL shows without --calendar: the server's default, else the\n"
    "              first that takes events.\n"
    "\n"
    "Options:\n"
    "  --user NAME        the server's user; the password is asked on the terminal. Without it the\n"
    "                     server is asked without credentials\n"
    "  --allow-http       plain http to another machine: the password then travels unencrypted\n"
    "  --password-stdin   read the password from the first line of standard input\n";

constexpr const char* kToolName = "qvanctl caldav";

int Calendars(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& url = arguments.Positional(1, 1, "calendars takes one URL")[0];
  const std::string user = arguments.Value("--user").value_or("");
  if (user.empty() && arguments.Has("--password-stdin"))
    throw EUsageError("--password-stdin goes with --user");
  const std::string failure = "cannot list the calendars of " + url + ": ";
#if QV_CALDAV
  const std::string password =
      user.empty() ? std::string() : ReadCalDAVPassword(arguments.Has("--password-stdin"), io, user, url);
  caldav::CalendarListing listing;
  try {
    listing = caldav::ListCalendars({url, user, password, arguments.Has("--allow-http")},
                                    caldav::MachineCollectionSettings().http);
  } catch (const caldav::ECalDAVLogonRefused&) {
    throw EToolFailure(failure + (user.empty() ? "the server needs a user (--user NAME)"
                                               : "the server refused the password of " + user));
  } catch (const caldav::ECalDAVUnavailable& error) {
    throw EToolFailure(failure + "the CalDAV server " + error.what());
  }
  std::string chosen;
  try {
    chosen = caldav::ChooseCalendar(listing, "").url;
  } catch (const caldav::ECalDAVUnavailable&) {
    // None takes events: nothing is marked.
  }
  if (listing.home.empty())
    io.out << url << " is a calendar collection:\n";
  else
    io.out << "The calendar home " << listing.home << " holds " << listing.calendars.size()
           << (listing.calendars.size() == 1 ? " calendar" : " calendars")
           << (listing.calendars.empty() ? "." : ":") << "\n";
  for (const caldav::CalendarOffer& offer : listing.calendars) {
    io.out << (offer.url == chosen ? "* " : "  ") << offer.url << "  \"" << offer.display_name << "\"";
    if (!offer.components.empty()) {
      io.out << " ";
      for (const std::string& component : offer.components) io.out << " " << component;
    }
    if (offer.is_default) io.out << "  (the server's default)";
    io.out << "\n";
  }
  return 0;
#else
  static_cast<void>(io);
  throw EToolFailure(failure + "this build does not reach CalDAV servers");
#endif
}

}  // namespace

int RunCalDAVCommand(const std::vector<std::string>& args, ToolStreams& io) {
  static const ToolCommand kCommand{
      kToolName,
      kUsage,
      "action",
      OptionSpelling::kDashes,
      {{"calendars", {{"--allow-http", "--password-stdin"}, {"--user"}}, Calendars}}};
  return RunToolCommand(kCommand, args, io);
}

}  // namespace qv::tools
