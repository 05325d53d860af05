// The application event log: event sources that report events (RegisterEventSource, ReportEvent,
// DeregisterEventSource) and reading the log back (OpenEventLog, ReadEventLog ...), with the shapes,
// event types and error codes of the Win32 functions. Failures return false (or no handle) and set
// the thread's last error.
//
// On Linux the log is an SQLite database in the platform state directory, shared by every process,
// and every event is also sent to the system log (syslog) with its message text filled in from the
// catalogue the source names in the registry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/accounts/accounts.h"

namespace qv::platform {

// An event source opened for reporting, or an event log opened for reading. Opaque; 0 is none.
enum class HEVENTLOG : uintptr_t {};

// Event types.
inline constexpr uint16_t EVENTLOG_SUCCESS = 0x0000;
inline constexpr uint16_t EVENTLOG_ERROR_TYPE = 0x0001;
inline constexpr uint16_t EVENTLOG_WARNING_TYPE = 0x0002;
inline constexpr uint16_t EVENTLOG_INFORMATION_TYPE = 0x0004;
inline constexpr uint16_t EVENTLOG_AUDIT_SUCCESS = 0x0008;
inline constexpr uint16_t EVENTLOG_AUDIT_FAILURE = 0x0010;

// Read flags of ReadEventLog: sequential or from a record number on, forwards or backwards.
inline constexpr uint32_t EVENTLOG_SEQUENTIAL_READ = 0x0001;
inline constexpr uint32_t EVENTLOG_SEEK_READ = 0x0002;
inline constexpr uint32_t EVENTLOG_FORWARDS_READ = 0x0004;
inline constexpr uint32_t EVENTLOG_BACKWARDS_READ = 0x0008;

// Where the sources of the application log are registered, below HKEY_LOCAL_MACHINE: one sub-key per
// source, whose EventMessageFile names the program files holding its message catalogue (several
// separated by ";", REG_EXPAND_SZ expanded). The key itself may hold MaxSize (REG_DWORD, bytes) and
// Retention (REG_DWORD, seconds: 0 overwrite the oldest events as needed, 0xFFFFFFFF never overwrite),
// read when a source opens.
inline constexpr const char* kApplicationLogKey =
    "System\\CurrentControlSet\\Services\\EventLog\\Application";
inline constexpr uint32_t kDefaultEventLogMaxSize = 20 * 1024 * 1024;
inline constexpr uint32_t kMinimumEventLogMaxSize = 64 * 1024;
inline constexpr uint32_t kRetentionNeverOverwrite = 0xFFFFFFFF;

// Limits of one event: longer insertion strings are cut at kMaxInsertionStringLength characters; more
// binary data than kMaxEventDataSize is refused (ERROR_INVALID_PARAMETER).
inline constexpr size_t kMaxInsertionStringLength = 31839;
inline constexpr uint32_t kMaxEventDataSize = 61440;

// Opens an event source for reporting. server_name: empty, ".", "localhost" or this computer's name
// (with or without leading backslashes) is the local machine; any other machine cannot be reached
// (RPC_S_SERVER_UNAVAILABLE). The source need not be registered. The log itself is opened here: a log
// that cannot be written (write-protected, damaged, not there to be created) still gives a handle,
// and each report then fails with the reason.
HEVENTLOG RegisterEventSource(const std::string& server_name, const std::string& source_name);
bool DeregisterEventSource(HEVENTLOG source);

// Writes one event. type: one of the EVENTLOG_ types; user_sid may be null; strings holds
// num_strings NUL-terminated strings (the message's %1, %2 ...); raw_data data_size bytes. True when
// the log kept the event. Several threads may report through one handle at once. A full log that
// may not overwrite its oldest events gives ERROR_LOG_FILE_FULL, a write-protected one
// ERROR_ACCESS_DENIED, a damaged one ERROR_EVENTLOG_FILE_CORRUPT. The copy to the system log is sent
// in either case and its failure is not reported.
bool ReportEvent(HEVENTLOG source, uint16_t type, uint16_t category, uint32_t event_id, const Sid* user_sid,
                 uint16_t num_strings, uint32_t data_size, const char* const* strings, const void* raw_data);

// One event as the log keeps it (EVENTLOGRECORD). Times are seconds since 1970-01-01 00:00 UTC.
struct EventLogRecord {
  uint32_t RecordNumber = 0;
  int64_t TimeGenerated = 0;
  int64_t TimeWritten = 0;
  uint32_t EventID = 0;
  uint16_t EventType = 0;
  uint16_t EventCategory = 0;
  std::string SourceName;
  std::string ComputerName;
  Sid UserSid;  // empty when the event names no user
  std::vector<std::string> Strings;
  std::string Data;
};

// Opens a log for reading. There is one log, the application log: like Windows, a name it does not
// know opens it too. A log that was never written reads as empty. A handle is used by one thread at a
// time.
HEVENTLOG OpenEventLog(const std::string& server_name, const std::string& log_name);
bool CloseEventLog(HEVENTLOG log);

// Reads up to max_records events into records (replacing its content). flags: EVENTLOG_SEQUENTIAL_READ
// continues after the last event this handle read (the first read starts at the oldest event, or with
// EVENTLOG_BACKWARDS_READ at the newest); EVENTLOG_SEEK_READ starts at record_offset. False with
// ERROR_HANDLE_EOF when no event is left in that direction.
bool ReadEventLog(HEVENTLOG log, uint32_t flags, uint32_t record_offset, uint32_t max_records,
                  std::vector<EventLogRecord>* records);
bool GetNumberOfEventLogRecords(HEVENTLOG log, uint32_t* count);
// The record number of the oldest event kept; 0 for an empty log.
bool GetOldestEventLogRecord(HEVENTLOG log, uint32_t* oldest);

// Where this platform keeps the event log: the database file of the stand-in.
std::string EventLogFile();

}  // namespace qv::platform
