#include "tools/events_command.h"

#include <cctype>
#include <ctime>
#include <map>
#include <optional>
#include <ostream>

#include "logging/event_source_writer.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/event_log/event_description.h"
#include "platform/event_log/event_log.h"
#include "platform/text/ascii_text.h"
#include "platform/text/code_page.h"
#include "support/text_helpers.h"
#include "support/win_error_text.h"
#include "tools/event_time.h"
#include "tools/json_text.h"
#include "tools/tool_command.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl events list [--source S] [--type T] [--id N] [--since TIME] [-n COUNT] [--json]\n"
    "       qvanctl events write --source S --type error|warning|information --id N [--category N]\n"
    "                            [--] [STRING ...]\n"
    "\n"
    "The application event log of this machine.\n"
    "\n"
    "  list    shows the newest events, newest first: time, type, source, event ID and the message\n"
    "          text from the catalogue that the source's EventMessageFile names\n"
    "  write   writes one event; the STRINGs are the message's insertion strings %1, %2 ... A source\n"
    "          that is not registered yet is registered with this program as its message file.\n"
    "\n"
    "Options of list:\n"
    "  --source S     only events of source S (any case)\n"
    "  --type T       only events of type T: error, warning, information, success, audit-success or\n"
    "                 audit-failure\n"
    "  --id N         only events with the event ID N\n"
    "  --since TIME   only events from TIME on: YYYY-MM-DD [HH:MM[:SS]] (local time), today, yesterday,\n"
    "                 -N followed by s, m, h or d (that long ago), or @N (seconds since 1970)\n"
    "  -n COUNT       at most COUNT events (default 20)\n"
    "  --json         one JSON object a line: record, time, time_written (UTC), type, source, id,\n"
    "                 category, computer, user, strings, data (hexadecimal), message, message_found\n"
    "\n"
    "Options of write:\n"
    "  --category N   the event's category, 0 to 65535 (default 0)\n"
    "  --             ends the options: every argument after it is a string\n";

constexpr uint32_t kDefaultCount = 20;
constexpr uint32_t kReadBatch = 256;

struct EventType {
  const char* name;     // as --type takes it and --json writes it
  const char* caption;  // as the listing shows it
  uint16_t system_type;
};
constexpr EventType kEventTypes[] = {
    {"error", "Error", platform::EVENTLOG_ERROR_TYPE},
    {"warning", "Warning", platform::EVENTLOG_WARNING_TYPE},
    {"information", "Information", platform::EVENTLOG_INFORMATION_TYPE},
    {"success", "Success", platform::EVENTLOG_SUCCESS},
    {"audit-success", "Audit Success", platform::EVENTLOG_AUDIT_SUCCESS},
    {"audit-failure", "Audit Failure", platform::EVENTLOG_AUDIT_FAILURE},
};

const EventType* FindType(uint16_t system_type) {
  for (const EventType& type : kEventTypes)
    if (type.system_type == system_type) return &type;
  return nullptr;
}

uint16_t ParseType(const std::string& text, bool writable_only) {
  const std::string name = AsciiLowerCase(text);
  for (const EventType& type : kEventTypes) {
    if (name != type.name) continue;
    if (writable_only && type.system_type != platform::EVENTLOG_ERROR_TYPE &&
        type.system_type != platform::EVENTLOG_WARNING_TYPE &&
        type.system_type != platform::EVENTLOG_INFORMATION_TYPE)
      break;
    return type.system_type;
  }
  throw EUsageError("unknown event type \"" + text + "\"; expected " +
                    (writable_only ? "error, warning or information"
                                   : "error, warning, information, success, audit-success or audit-failure"));
}

uint64_t ParseNumber(const std::string& option, const std::string& text, uint64_t maximum) {
  uint64_t value = 0;
  bool valid = !text.empty() && text.size() <= 10;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) valid = false;
    if (valid) value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (!valid || value > maximum)
    throw EUsageError(option + " takes a number from 0 to " + std::to_string(maximum) + ", not \"" + text +
                      "\"");
  return value;
}

// The system's text of an error code, naming the log where that helps.
std::string ErrorText(uint32_t code) {
  std::string text = GetWinErrorText(static_cast<int32_t>(code));
  if (code == platform::ERROR_ACCESS_DENIED || code == platform::ERROR_EVENTLOG_FILE_CORRUPT ||
      code == platform::ERROR_LOG_FILE_FULL)
    text += " (" + platform::EventLogFile() + ")";
  return text;
}

// Closes an event log opened for reading.
class LogReader {
 public:
  LogReader() : log_(platform::OpenEventLog("", "Application")) {
    if (log_ == platform::HEVENTLOG{})
      throw EToolFailure("cannot open the event log: " + ErrorText(platform::GetLastError()));
  }
  LogReader(const LogReader&) = delete;
  LogReader& operator=(const LogReader&) = delete;
  ~LogReader() { platform::CloseEventLog(log_); }

  // The next events, newest first; false at the oldest.
  bool ReadBackwards(std::vector<platform::EventLogRecord>* records) {
    if (platform::ReadEventLog(log_, platform::EVENTLOG_SEQUENTIAL_READ | platform::EVENTLOG_BACKWARDS_READ,
                               0, kReadBatch, records))
      return true;
    const uint32_t code = platform::GetLastError();
    if (code == platform::ERROR_HANDLE_EOF) return false;
    throw EToolFailure("cannot read the event log: " + ErrorText(code));
  }

 private:
  platform::HEVENTLOG log_;
};

struct ListFilter {
  std::optional<std::string> source;  // upper case
  std::optional<uint16_t> type;
  std::optional<uint32_t> id;
  std::optional<int64_t> since;

  bool Matches(const platform::EventLogRecord& record) const {
    return (!source || AsciiUpperCase(record.SourceName) == *source) &&
           (!type || record.EventType == *type) && (!id || record.EventID == *id) &&
           (!since || record.TimeGenerated >= *since);
  }
};

// Message texts as a viewer builds them, the message files of each source read once.
class Descriptions {
 public:
  // The text with LF line breaks and without its final ones; found tells whether a catalogue had it.
  std::string Of(const platform::EventLogRecord& record, bool* found) {
    auto files = files_.find(AsciiUpperCase(record.SourceName));
    if (files == files_.end())
      files =
          files_.emplace(AsciiUpperCase(record.SourceName), platform::EventMessageFiles(record.SourceName))
              .first;
    std::string text;
    *found = platform::FormatEventDescription(files->second, record.EventID, record.Strings, &text);
    if (!*found) text = platform::MissingEventDescription(record.SourceName, record.EventID, record.Strings);
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i)
      if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
    while (!lines.empty() && (lines.back() == '\n' || lines.back() == '\r')) lines.pop_back();
    return platform::Windows1252ToUtf8(lines);
  }

 private:
  std::map<std::string, std::vector<std::string>> files_;
};

// The event's data in lower-case hexadecimal.
std::string DataText(const platform::EventLogRecord& record) {
  return AsciiLowerCase(HexText(record.Data));
}

void PrintText(const platform::EventLogRecord& record, const std::string& message, std::ostream& out) {
  const EventType* type = FindType(record.EventType);
  out << LocalTimeText(record.TimeGenerated) << "  "
      << (type != nullptr ? type->caption : "Type " + std::to_string(record.EventType)) << "  "
      << platform::Windows1252ToUtf8(record.SourceName) << "  Event ID " << record.EventID << "  (record "
      << record.RecordNumber << ")\n";
  if (record.EventCategory != 0) out << "Category: " << record.EventCategory << "\n";
  if (!record.UserSid.empty()) out << "User: " << platform::SidToText(record.UserSid) << "\n";
  out << message << "\n";
  if (!record.Data.empty()) out << "Data: " << DataText(record) << "\n";
}

void PrintJson(const platform::EventLogRecord& record, const std::string& message, bool found,
               std::ostream& out) {
  const EventType* type = FindType(record.EventType);
  out << "{\"record\":" << record.RecordNumber
      << ",\"time\":" << JsonString(UtcTimeText(record.TimeGenerated))
      << ",\"time_written\":" << JsonString(UtcTimeText(record.TimeWritten))
      << ",\"type\":" << JsonString(type != nullptr ? type->name : std::to_string(record.EventType))
      << ",\"source\":" << JsonString(platform::Windows1252ToUtf8(record.SourceName))
      << ",\"id\":" << record.EventID << ",\"category\":" << record.EventCategory
      << ",\"computer\":" << JsonString(platform::Windows1252ToUtf8(record.ComputerName))
      << ",\"user\":" << (record.UserSid.empty() ? "null" : JsonString(platform::SidToText(record.UserSid)))
      << ",\"strings\":[";
  for (size_t i = 0; i < record.Strings.size(); ++i)
    out << (i > 0 ? "," : "") << JsonString(platform::Windows1252ToUtf8(record.Strings[i]));
  out << "],\"data\":" << JsonString(DataText(record)) << ",\"message\":" << JsonString(message)
      << ",\"message_found\":" << (found ? "true" : "false") << "}\n";
}

int List(const ToolArguments& arguments, ToolStreams& io) {
  if (!arguments.Positional().empty())
    throw EUsageError("list takes no argument \"" + arguments.Positional()[0] + "\"");
  ListFilter filter;
  if (const auto source = arguments.Value("--source")) filter.source = AsciiUpperCase(*source);
  if (const auto type = arguments.Value("--type")) filter.type = ParseType(*type, false);
  if (const auto id = arguments.Value("--id"))
    filter.id = static_cast<uint32_t>(ParseNumber("--id", *id, 0xFFFFFFFF));
  if (const auto since = arguments.Value("--since")) {
    int64_t time = 0;
    if (!ParseSinceTime(*since, static_cast<int64_t>(std::time(nullptr)), &time))
      throw EUsageError("--since: cannot read the time \"" + *since + "\"");
    filter.since = time;
  }
  uint32_t count = kDefaultCount;
  if (const auto n = arguments.Value("-n")) {
    count = static_cast<uint32_t>(ParseNumber("-n", *n, 0xFFFFFFFF));
    if (count == 0) throw EUsageError("-n takes a count of 1 or more");
  }
  const bool json = arguments.Has("--json");

  LogReader log;
  Descriptions descriptions;
  std::vector<platform::EventLogRecord> batch;
  uint32_t shown = 0;
  while (shown < count && log.ReadBackwards(&batch)) {
    for (const platform::EventLogRecord& record : batch) {
      if (!filter.Matches(record)) continue;
      bool found = false;
      const std::string message = descriptions.Of(record, &found);
      if (json) {
        PrintJson(record, message, found, io.out);
      } else {
        if (shown > 0) io.out << "\n";
        PrintText(record, message, io.out);
      }
      if (++shown == count) break;
    }
  }
  // Said in words, so that an empty log is not taken for a tool that did nothing; JSON stays empty.
  if (shown == 0 && !json) {
    const bool filtered = filter.source || filter.type || filter.id || filter.since;
    io.out << (filtered ? "No events match.\n" : "No events.\n");
  }
  return 0;
}

int Write(const ToolArguments& arguments, ToolStreams&) {
  const std::string source = arguments.Required("--source");
  if (source.empty()) throw EUsageError("--source needs a name");
  if (source.find('\\') != std::string::npos) throw EUsageError("a source name cannot contain a backslash");
  const uint16_t system_type = ParseType(arguments.Required("--type"), true);
  const auto id = static_cast<uint32_t>(ParseNumber("--id", arguments.Required("--id"), 0xFFFFFFFF));
  const auto category =
      static_cast<uint16_t>(ParseNumber("--category", arguments.Value("--category").value_or("0"), 0xFFFF));
  const TEventLogType type = system_type == platform::EVENTLOG_ERROR_TYPE     ? eltError
                             : system_type == platform::EVENTLOG_WARNING_TYPE ? eltWarning
                                                                              : eltInformation;
  TVeskApplLogWriter writer("", source);
  if (!writer.WriteEvent(type, category, id, &arguments.Positional(), nullptr, 0))
    throw EToolFailure("the event log did not take the event: " + ErrorText(platform::GetLastError()));
  return 0;
}

}  // namespace

int RunEventsCommand(const std::vector<std::string>& args, ToolStreams& io) {
  static const ToolCommand kCommand{
      "qvanctl events",
      kUsage,
      "action",
      OptionSpelling::kDashes,
      {{"list", {{"--json"}, {"--source", "--type", "--id", "--since", "-n"}}, List},
       {"write", {{}, {"--source", "--type", "--id", "--category"}}, Write}}};
  return RunToolCommand(kCommand, args, io);
}

}  // namespace qv::tools
