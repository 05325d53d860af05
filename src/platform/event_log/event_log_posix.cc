// The event log functions over the database of the platform state directory. A handle is the address
// of the object it stands for, which lives from the opening call to the closing one; everything a
// source needs to report is fixed when it is opened, so reporting takes no lock (the database
// connection serialises its own use, and sending a datagram needs none).
//
// MaxSize and Retention are read from the application log's key when a source opens. The copy to the
// system log is facility daemon, with a severity by the event's type (error 3; warning and audit
// failure 4; audit success 5; information and success 6) and the text a viewer shows
// (event_description.h) in UTF-8. It exists because this stand-in has no viewer of its own.
#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>

#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/event_log/event_description.h"
#include "platform/event_log/event_log.h"
#include "platform/event_log/event_log_arguments.h"
#include "platform/event_log/event_log_database_posix.h"
#include "platform/event_log/syslog.h"
#include "platform/event_log/syslog_sender_posix.h"
#include "platform/files/state_dir.h"
#include "platform/process/module.h"
#include "platform/registry/registry.h"
#include "platform/text/code_page.h"

namespace qv::platform {

namespace {

constexpr const char* kFileName = "eventlog.db";
constexpr uint32_t kSourceTag = 0x45565352;  // "EVSR"
constexpr uint32_t kReaderTag = 0x45564C52;  // "EVLR"

// What a handle points at; the tag tells the two kinds apart. A handle used after its closing call is
// a fault of the caller, as on Windows.
struct EventLogObject {
  explicit EventLogObject(uint32_t kind) : tag(kind) {}
  const uint32_t tag;
};

struct EventSource : EventLogObject {
  EventSource() : EventLogObject(kSourceTag), syslog(SyslogSocketPath()) {}
  std::string name;
  std::string computer;
  std::vector<std::string> message_files;
  std::unique_ptr<posix::EventLogDatabase> database;
  uint32_t open_error = ERROR_SUCCESS;  // why there is no database
  posix::SyslogSender syslog;
};

struct EventLogReader : EventLogObject {
  EventLogReader() : EventLogObject(kReaderTag) {}
  std::unique_ptr<posix::EventLogDatabase> database;
  uint32_t open_error = ERROR_SUCCESS;
  uint32_t last_read = 0;  // the record number read last; 0 before the first read
};

template <class Object>
HEVENTLOG HandleOf(std::unique_ptr<Object> object) {
  return static_cast<HEVENTLOG>(reinterpret_cast<uintptr_t>(object.release()));
}

template <class Object>
Object* ObjectOf(HEVENTLOG handle, uint32_t tag) {
  auto* object = reinterpret_cast<EventLogObject*>(static_cast<uintptr_t>(handle));
  if (object == nullptr || object->tag != tag) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<Object*>(object);
}

// A REG_DWORD of the application log's key, or the fallback.
uint32_t LogSetting(const std::string& name, uint32_t fallback) {
  try {
    RegKey key;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kApplicationLogKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
      return fallback;
    uint32_t type = 0;
    std::string data;
    if (RegQueryValueEx(key.Get(), name, &type, &data) != ERROR_SUCCESS || type != REG_DWORD ||
        data.size() != 4)
      return fallback;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
  } catch (const Exception&) {  // an unusable registry: the log's defaults
    return fallback;
  }
}

std::unique_ptr<posix::EventLogDatabase> OpenDatabase(posix::EventLogDatabase::Access access,
                                                      uint32_t* open_error) {
  try {
    const std::string path = access == posix::EventLogDatabase::Access::kWrite
                                 ? PlatformStateFile(kFileName)
                                 : PlatformStateDirectory() + "/" + kFileName;
    return std::make_unique<posix::EventLogDatabase>(path, access);
  } catch (const EWin32Error& error) {
    *open_error = error.ErrorCode;
  } catch (const SqliteError&) {
    *open_error = ERROR_EVENTLOG_FILE_CORRUPT;
  }
  return nullptr;
}

int SyslogSeverityOf(uint16_t type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE:
      return kSyslogSeverityError;
    case EVENTLOG_WARNING_TYPE:
    case EVENTLOG_AUDIT_FAILURE:
      return kSyslogSeverityWarning;
    case EVENTLOG_AUDIT_SUCCESS:
      return kSyslogSeverityNotice;
    default:
      return kSyslogSeverityInformational;
  }
}

}  // namespace

std::string EventLogFile() {
  return PlatformStateDirectory() + "/" + kFileName;
}

HEVENTLOG RegisterEventSource(const std::string& server_name, const std::string& source_name) {
  if (!IsLocalEventLogServer(server_name)) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return HEVENTLOG{};
  }
  if (source_name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return HEVENTLOG{};
  }
  auto source = std::make_unique<EventSource>();
  source->name = source_name;
  source->computer = GetComputerName();
  source->message_files = EventMessageFiles(source_name);
  source->database = OpenDatabase(posix::EventLogDatabase::Access::kWrite, &source->open_error);
  if (source->database) {
    try {
      source->database->SetLimits(LogSetting("MaxSize", kDefaultEventLogMaxSize), LogSetting("Retention", 0));
    } catch (const SqliteError&) {
      // The log stays unbounded until the next opening; it is still written.
    }
  }
  return HandleOf(std::move(source));
}

bool DeregisterEventSource(HEVENTLOG handle) {
  EventSource* source = ObjectOf<EventSource>(handle, kSourceTag);
  if (source == nullptr) return false;
  std::unique_ptr<EventSource> owned(source);
  return true;
}

bool ReportEvent(HEVENTLOG handle, uint16_t type, uint16_t category, uint32_t event_id, const Sid* user_sid,
                 uint16_t num_strings, uint32_t data_size, const char* const* strings, const void* raw_data) {
  const EventSource* source = ObjectOf<EventSource>(handle, kSourceTag);
  if (source == nullptr) return false;
  EventLogRecord record;
  if (!TakeEventArguments(type, num_strings, data_size, strings, raw_data, &record.Strings)) return false;
  record.TimeGenerated = static_cast<int64_t>(std::time(nullptr));
  record.EventID = event_id;
  record.EventType = type;
  record.EventCategory = category;
  record.SourceName = source->name;
  record.ComputerName = source->computer;
  if (user_sid != nullptr) record.UserSid = *user_sid;
  if (data_size > 0) record.Data.assign(static_cast<const char*>(raw_data), data_size);

  const uint32_t code = source->database ? source->database->Append(record) : source->open_error;

  // The copy to the system log goes out also when the log refused the event, so that it is not lost.
  if (source->syslog.Active()) {
    std::string text;
    if (!FormatEventDescription(source->message_files, event_id, record.Strings, &text))
      text = MissingEventDescription(source->name, event_id, record.Strings);
    source->syslog.Send(kSyslogFacilityDaemon, SyslogSeverityOf(type), Windows1252ToUtf8(source->name),
                        Windows1252ToUtf8(text));
  }

  if (code != ERROR_SUCCESS) return FailWith(code);
  return true;
}

HEVENTLOG OpenEventLog(const std::string& server_name, const std::string& log_name) {
  if (!IsLocalEventLogServer(server_name)) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return HEVENTLOG{};
  }
  auto reader = std::make_unique<EventLogReader>();
  reader->database = OpenDatabase(posix::EventLogDatabase::Access::kRead, &reader->open_error);
  if (!reader->database) {
    SetLastError(reader->open_error);
    return HEVENTLOG{};
  }
  return HandleOf(std::move(reader));
}

bool CloseEventLog(HEVENTLOG handle) {
  EventLogReader* reader = ObjectOf<EventLogReader>(handle, kReaderTag);
  if (reader == nullptr) return false;
  std::unique_ptr<EventLogReader> owned(reader);
  return true;
}

bool ReadEventLog(HEVENTLOG handle, uint32_t flags, uint32_t record_offset, uint32_t max_records,
                  std::vector<EventLogRecord>* records) {
  EventLogReader* reader = ObjectOf<EventLogReader>(handle, kReaderTag);
  if (reader == nullptr) return false;
  EventLogReadRequest request;
  if (!TakeEventLogReadFlags(flags, max_records, records, &request)) return false;
  uint32_t from = reader->last_read;
  bool inclusive = false;
  if (request.seek) {
    from = record_offset;
    inclusive = true;
  } else if (reader->last_read == 0 && request.backwards) {
    from = 0xFFFFFFFF;
    inclusive = true;
  }
  const uint32_t code = reader->database->Read(request.backwards, from, inclusive, max_records, records);
  if (code != ERROR_SUCCESS) return FailWith(code);
  reader->last_read = records->back().RecordNumber;
  return true;
}

bool GetNumberOfEventLogRecords(HEVENTLOG handle, uint32_t* count) {
  EventLogReader* reader = ObjectOf<EventLogReader>(handle, kReaderTag);
  if (reader == nullptr) return false;
  if (const uint32_t code = reader->database->Count(count); code != ERROR_SUCCESS) return FailWith(code);
  return true;
}

bool GetOldestEventLogRecord(HEVENTLOG handle, uint32_t* oldest) {
  EventLogReader* reader = ObjectOf<EventLogReader>(handle, kReaderTag);
  if (reader == nullptr) return false;
  if (const uint32_t code = reader->database->Oldest(oldest); code != ERROR_SUCCESS) return FailWith(code);
  return true;
}

}  // namespace qv::platform
