#include "tools/calendar_command.h"

#include <cstdio>
#include <ostream>

#if QV_CALDAV
#include "exchange/caldav/collection_logon.h"
#endif
#include "store/calendar_store.h"
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
    "\n"
    "A mailbox bound to a CalDAV collection takes no import: its calendar is changed on the server.\n"
    "\n"
    "Options:\n"
    "  --replace          empty the mailbox's calendar before the import\n"
    "  --password-stdin   export: read the CalDAV user's password from the first line of standard\n"
    "                     input\n";

constexpr const char* kToolName = "qvanctl calendar";
// Imports of more events than this report their progress every so many events.
constexpr size_t kProgressStep = 5000;

std::string DayText(TDateTime value) {
  const DateTimeParts parts = DecodeDateTime(value);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.year, parts.month, parts.day);
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
  io.out << "; recurring events are stored up to " << DayText(report.horizon) << " and go on when needed.\n";
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

}  // namespace

int RunCalendarCommand(const std::vector<std::string>& args, ToolStreams& io) {
  static const ToolCommand kCommand{
      kToolName,
      kUsage,
      "action",
      OptionSpelling::kDashes,
      {{"import", {{"--replace"}, {}}, Import}, {"export", {{"--password-stdin"}, {}}, Export}}};
  return RunToolCommand(kCommand, args, io);
}

}  // namespace qv::tools
