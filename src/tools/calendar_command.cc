#include "tools/calendar_command.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <istream>
#include <ostream>

#if QV_CALDAV
#include "exchange/caldav/collection_logon.h"
#endif
#include "store/calendar_store.h"
#include "store/calendar_window.h"
#include "store/ical_reader.h"
#include "support/date_time.h"
#include "tools/caldav_password.h"
#include "tools/store_program_note.h"
#include "tools/tool_command.h"
#include "tools/tool_files.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl calendar import MAILBOX FILE|- [--replace]\n"
    "       qvanctl calendar export MAILBOX [FILE] [--password-stdin]\n"
    "       qvanctl calendar list MAILBOX [--from DATE] [--days N]\n"
    "\n"
    "Imports and exports the calendars of the calendar store's mailboxes as iCalendar files\n"
    "(RFC 5545, UTF-8).\n"
    "\n"
    "  import    stores the events of FILE, or of standard input for \"-\", in the mailbox; an event\n"
    "            replaces the mailbox's event of the same UID. A malformed file is refused as a whole,\n"
    "            with its line and the reason; entries that cannot become appointments are skipped\n"
    "            and listed.\n"
    "  export    writes the mailbox's calendar to FILE, or to standard output. A mailbox bound to a\n"
    "            CalDAV collection is read from its server first, as its user: the password is asked\n"
    "            on the terminal\n"
    "  list      shows the appointments a phone sees, one a line, with the position (X) a phone's\n"
    "            link carries: those that end after the start of DATE (today when not given) and\n"
    "            start within N days of it (365, as the phone's list). A mailbox bound to a CalDAV\n"
    "            collection shows its mirror as the last logon left it\n"
    "\n"
    "A mailbox bound to a CalDAV collection takes no import: its calendar is changed on the server.\n"
    "\n"
    "Options:\n"
    "  --replace          empty the mailbox's calendar before the import\n"
    "  --password-stdin   export: read the CalDAV user's password from the first line of standard\n"
    "                     input\n"
    "  --from DATE        list: the first day, YYYY-MM-DD or today (the default)\n"
    "  --days N           list: how many days, 1 to 3653 (default 365)\n";

constexpr const char* kToolName = "qvanctl calendar";
// Imports of more events than this report their progress every so many events.
constexpr size_t kProgressStep = 5000;

// "2024-05-01 09:00", or the day alone.
std::string MomentText(TDateTime value, bool day_only) {
  const DateTimeParts parts = DecodeDateTime(value);
  char text[32];
  if (day_only)
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.year, parts.month, parts.day);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", parts.year, parts.month, parts.day,
                  parts.hour, parts.minute);
  return text;
}

std::string EntryText(const ImportReport::Entry& entry) {
  std::string text = "line " + std::to_string(entry.line);
  if (!entry.uid.empty()) text += " (UID " + entry.uid + ")";
  return text + ": " + entry.text;
}

int Import(const ToolArguments& arguments, ToolStreams& io) {
  const auto& positional = arguments.Positional(2, 2, "import takes a mailbox and a file");
  const std::string& mailbox = positional[0];
  const std::string& file = positional[1];
  const std::string content = ReadFileOrInput(file, io.in);
  const std::string source = file == "-" ? "standard input" : "\"" + file + "\"";
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
  ImportReport report;
  try {
    report = store.Import(mailbox, content, arguments.Has("--replace"), [&io](size_t done, size_t total) {
      if (total > kProgressStep && (done % kProgressStep == 0 || done == total))
        io.err << kToolName << ": " << done << " of " << total << " events stored\n";
    });
  } catch (const ical::EIcalFormatError& error) {
    throw EToolFailure("cannot import " + source + ": " + error.what());
  }
  io.out << "Imported " << report.events << (report.events == 1 ? " event" : " events") << " ("
         << report.occurrences << (report.occurrences == 1 ? " appointment" : " appointments")
         << ") into mailbox \"" << mailbox << "\"";
  if (report.replaced > 0) io.out << ", replacing " << report.replaced;
  if (report.recurring > 0)
    io.out << "; recurring events are stored up to " << MomentText(report.horizon, true)
           << " and go on when needed";
  io.out << ".\n";
  for (const auto& entry : report.skipped) io.out << "Skipped " << EntryText(entry) << "\n";
  for (const auto& entry : report.notes) io.out << "Note: " << EntryText(entry) << "\n";
  for (const auto& [kind, count] : report.ignored_components)
    io.out << "Left out " << count << " " << kind << (count == 1 ? " component" : " components")
           << ": only events are imported.\n";
  return 0;
}

// Brings the mirror of a bound mailbox up to date, as its user.
void ReadFromServer(CalendarStore& store, const MailboxRecord& mailbox, const ToolArguments& arguments,
                    ToolStreams& io) {
  const std::string password =
      ReadCalDAVPassword(arguments.Has("--password-stdin"), io, mailbox.caldav->user, mailbox.caldav->url);
  const std::string failure = "cannot export \"" + mailbox.name + "\": ";
#if QV_CALDAV
  caldav::CollectionLogon logon;
  try {
    logon = caldav::LogOnToCollection(store, mailbox, password, caldav::MachineCollectionSettings(),
                                      caldav::Refresh::kNow);
  } catch (const caldav::ECalDAVUnavailable& error) {
    throw EToolFailure(failure + "the CalDAV server " + error.what());
  }
  if (!logon.accepted)
    throw EToolFailure(failure + "the CalDAV server refused the password of " + mailbox.caldav->user);
  for (const std::string& note : logon.notes) io.err << kToolName << ": left out " << note << "\n";
#else
  static_cast<void>(store);
  throw EToolFailure(failure + "this build does not reach CalDAV servers");
#endif
}

int Export(const ToolArguments& arguments, ToolStreams& io) {
  const auto& positional = arguments.Positional(1, 2, "export takes a mailbox and at most a file");
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
  const auto mailbox = store.FindMailbox(positional[0]);
  if (mailbox && mailbox->caldav)
    ReadFromServer(store, *mailbox, arguments, io);
  else if (arguments.Has("--password-stdin"))
    throw EUsageError("--password-stdin goes with a mailbox bound to a CalDAV collection");
  const std::string content = store.Export(positional[0]);
  if (positional.size() == 1)
    io.out << content;
  else
    WriteFile(positional[1], content);
  return 0;
}

// --from: "YYYY-MM-DD" or "today", as a local midnight.
TDateTime ListStart(const ToolArguments& arguments) {
  const std::string text = arguments.Value("--from").value_or("today");
  if (text == "today") return Date();
  int year = 0, month = 0, day = 0;
  char end = 0;
  TDateTime start = 0;
  if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &end) != 3 ||
      !TryEncodeDate(year, month, day, &start))
    throw EUsageError("--from takes a date as YYYY-MM-DD, or today; not \"" + text + "\"");
  return start;
}

int ListDays(const ToolArguments& arguments) {
  const std::string text = arguments.Value("--days").value_or("365");
  const bool digits =
      !text.empty() && text.size() <= 4 && text.find_first_not_of("0123456789") == std::string::npos;
  const int days = digits ? std::stoi(text) : 0;
  if (days < 1 || days > static_cast<int>(CalendarStore::kMaxLookAheadDays))
    throw EUsageError("--days takes a number of days from 1 to 3653, not \"" + text + "\"");
  return days;
}

// "2024-05-01 09:00-10:00", "2024-05-01 all day", a span over days with both ends in full.
std::string WhenText(const AppointmentRecord& appointment) {
  if (appointment.all_day) {
    // An all-day appointment ends at the midnight after its last day.
    const TDateTime last_day = std::max(appointment.start, appointment.end - 1);
    if (MomentText(last_day, true) == MomentText(appointment.start, true))
      return MomentText(appointment.start, true) + " all day";
    return MomentText(appointment.start, true) + " to " + MomentText(last_day, true) + " all day";
  }
  const std::string start = MomentText(appointment.start, false);
  const std::string end = MomentText(appointment.end, false);
  if (start.substr(0, 10) == end.substr(0, 10)) return start + "-" + end.substr(11);
  return start + " to " + end;
}

int List(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = arguments.Positional(1, 1, "list takes one mailbox")[0];
  const TDateTime start = ListStart(arguments);
  const int days = ListDays(arguments);
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, kToolName, io.err);
  const std::optional<MailboxRecord> mailbox = store.FindMailbox(name);
  if (!mailbox) throw EToolFailure("there is no mailbox named \"" + name + "\"");
  // As a page asks: the occurrences of recurring events up to the end are stored first.
  store.EnsureOccurrencesBefore(mailbox->id, start + days);
  CalendarWindow window(store.Database(), mailbox->id, start, start + days);
  int64_t position = 0;
  for (const AppointmentRecord* appointment = window.First(); appointment != nullptr;
       appointment = window.Next(), ++position) {
    io.out << std::setw(4) << position << "  " << WhenText(*appointment) << "  " << appointment->subject;
    if (!appointment->location.empty()) io.out << " (" << appointment->location << ")";
    io.out << "\n";
  }
  if (position == 0)
    io.out << "No appointments from " << MomentText(start, true) << " for " << days
           << (days == 1 ? " day" : " days") << ".\n";
  return 0;
}

}  // namespace

int RunCalendarCommand(const std::vector<std::string>& args, ToolStreams& io) {
  static const ToolCommand kCommand{kToolName,
                                    kUsage,
                                    "action",
                                    OptionSpelling::kDashes,
                                    {{"import", {{"--replace"}, {}}, Import},
                                     {"export", {{"--password-stdin"}, {}}, Export},
                                     {"list", {{}, {"--from", "--days"}}, List}}};
  return RunToolCommand(kCommand, args, io);
}

}  // namespace qv::tools
