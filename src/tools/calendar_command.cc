#include "tools/calendar_command.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <iterator>
#include <ostream>

#include "exchange/calendar_store.h"
#include "exchange/ical_reader.h"
#include "platform/file_system.h"
#include "platform/last_error.h"
#include "support/date_time.h"
#include "support/win_error_text.h"
#include "tools/store_program_note.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl calendar import MAILBOX FILE|- [--replace]\n"
    "       qvanctl calendar export MAILBOX [FILE]\n"
    "\n"
    "Imports and exports the calendars of the calendar store's mailboxes as iCalendar files\n"
    "(RFC 5545, UTF-8).\n"
    "\n"
    "  import    stores the events of FILE, or of standard input for \"-\", in the mailbox; an event\n"
    "            replaces the mailbox's event of the same UID. A malformed file is refused as a whole,\n"
    "            with its line and the reason; entries that cannot become appointments are skipped\n"
    "            and listed.\n"
    "  export    writes the mailbox's calendar to FILE, or to standard output\n"
    "\n"
    "Options:\n"
    "  --replace   empty the mailbox's calendar before the import\n";

constexpr int kFailed = 1;
constexpr int kUsageError = 2;
// Imports of more events than this report their progress every so many events.
constexpr size_t kProgressStep = 5000;

int UsageError(ToolStreams& io, const std::string& text) {
  io.err << "qvanctl calendar: " << text << " (try qvanctl calendar --help)\n";
  return kUsageError;
}

int Failed(ToolStreams& io, const std::string& text) {
  io.err << "qvanctl calendar: " << text << "\n";
  return kFailed;
}

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

int Import(ToolStreams& io, const std::string& mailbox, const std::string& file, bool replace) {
  std::string content;
  if (file == "-") {
    content.assign(std::istreambuf_iterator<char>(io.in), std::istreambuf_iterator<char>());
  } else if (!platform::ReadWholeFile(file, &content)) {
    return Failed(io, "cannot read \"" + file +
                          "\": " + GetWinErrorText(static_cast<int32_t>(platform::GetLastError())));
  }
  const std::string source = file == "-" ? "standard input" : "\"" + file + "\"";
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, "qvanctl calendar", io.err);
  ImportReport report;
  try {
    report = store.Import(mailbox, content, replace, [&io](size_t done, size_t total) {
      if (total > kProgressStep && (done % kProgressStep == 0 || done == total))
        io.err << "qvanctl calendar: " << done << " of " << total << " events stored\n";
    });
  } catch (const ical::EIcalFormatError& error) {
    return Failed(io, "cannot import " + source + ": " + error.what());
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

int Export(ToolStreams& io, const std::string& mailbox, const std::string* file) {
  CalendarStore store;
  WarnWhenStoreProgramUnregistered(store, "qvanctl calendar", io.err);
  const std::string content = store.Export(mailbox);
  if (file == nullptr) {
    io.out << content;
    return 0;
  }
  if (!platform::WriteWholeFile(*file, content))
    return Failed(io, "cannot write \"" + *file +
                          "\": " + GetWinErrorText(static_cast<int32_t>(platform::GetLastError())));
  return 0;
}

}  // namespace

int RunCalendarCommand(const std::vector<std::string>& args, ToolStreams& io) {
  if (args.empty()) return UsageError(io, "an action is missing");
  const auto is_help = [](const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "help"; };
  if (std::any_of(args.begin(), args.end(), is_help)) {
    io.out << kUsage;
    return 0;
  }
  const std::string& action = args[0];
  std::vector<std::string> operands;
  bool replace = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--replace" && action == "import") {
      replace = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError(io, "unknown option \"" + arg + "\"");
    } else {
      operands.push_back(arg);
    }
  }
  if (action == "import") {
    if (operands.size() != 2) return UsageError(io, "import takes a mailbox and a file");
    return Import(io, operands[0], operands[1], replace);
  }
  if (action == "export") {
    if (operands.empty() || operands.size() > 2)
      return UsageError(io, "export takes a mailbox and at most a file");
    return Export(io, operands[0], operands.size() == 2 ? &operands[1] : nullptr);
  }
  return UsageError(io, "unknown action \"" + action + "\"");
}

}  // namespace qv::tools
