#include "platform/event_log/event_log_database_posix.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_attributes.h"
#include "platform/os/unique_fd_posix.h"

namespace qv::platform::posix {

namespace {

// Marks the database as an event log ("QVEL"), so that another database is never taken for one.
constexpr int64_t kEventLogApplicationId = 0x5156454C;
constexpr int64_t kSchemaVersion = 1;
// How often a full log makes room before an event is given up.
constexpr int kOverwriteRounds = 16;

constexpr const char* kSchema =
    "CREATE TABLE events("
    " record_number INTEGER PRIMARY KEY AUTOINCREMENT,"
    " time_generated INTEGER NOT NULL,"
    " time_written INTEGER NOT NULL,"
    " source BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " category INTEGER NOT NULL,"
    " event_id INTEGER NOT NULL,"
    " computer BLOB NOT NULL,"
    " user_sid BLOB,"
    " string_count INTEGER NOT NULL,"
    " strings BLOB NOT NULL,"  // each string followed by a NUL, as EVENTLOGRECORD keeps them
    " data BLOB NOT NULL);";

constexpr const char* kSelectColumns =
    "SELECT record_number, time_generated, time_written, source, type, category, event_id, computer,"
    " user_sid, string_count, strings, data FROM events ";

[[noreturn]] void RaiseCode(const std::string& message, uint32_t code) {
  throw EWin32Error(message + ": " + SystemErrorText(code), code);
}

std::string PackStrings(const std::vector<std::string>& strings) {
  std::string packed;
  for (const std::string& text : strings) {
    packed += text;
    packed += '\0';
  }
  return packed;
}

std::vector<std::string> UnpackStrings(const std::string& packed, int64_t count) {
  std::vector<std::string> strings;
  size_t start = 0;
  while (static_cast<int64_t>(strings.size()) < count && start < packed.size()) {
    size_t end = packed.find('\0', start);
    if (end == std::string::npos) end = packed.size();
    strings.push_back(packed.substr(start, end - start));
    start = end + 1;
  }
  return strings;
}

EventLogRecord ReadRecord(const SqliteStatement& row) {
  EventLogRecord record;
  record.RecordNumber = static_cast<uint32_t>(row.ColumnInt64(0));
  record.TimeGenerated = row.ColumnInt64(1);
  record.TimeWritten = row.ColumnInt64(2);
  record.SourceName = row.ColumnBlob(3);
  record.EventType = static_cast<uint16_t>(row.ColumnInt64(4));
  record.EventCategory = static_cast<uint16_t>(row.ColumnInt64(5));
  record.EventID = static_cast<uint32_t>(row.ColumnInt64(6));
  record.ComputerName = row.ColumnBlob(7);
  if (!row.IsNull(8)) record.UserSid = row.ColumnBlob(8);
  record.Strings = UnpackStrings(row.ColumnBlob(10), row.ColumnInt64(9));
  record.Data = row.ColumnBlob(11);
  return record;
}

}  // namespace

EventLogDatabase::EventLogDatabase(const std::string& path, Access access) : path_(path), access_(access) {
  try {
    Open(access);
  } catch (const SqliteError& error) {
    RaiseCode("Event log \"" + path_ + "\"", CodeOf(error));
  }
}

uint32_t EventLogDatabase::CodeOf(const SqliteError& error) {
  switch (error.ResultCode & 0xFF) {
    case SQLITE_FULL:
      return ERROR_LOG_FILE_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
      return ERROR_OPEN_FAILED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_IOERR:
      return ERROR_IO_DEVICE;
    default:
      return ERROR_EVENTLOG_FILE_CORRUPT;  // not a database, damaged, a foreign schema
  }
}

void EventLogDatabase::Open(Access access) {
  struct stat info;
  if (stat(path_.c_str(), &info) != 0) {
    if (errno != ENOENT) RaiseCode("Event log \"" + path_ + "\"", WinErrorFromErrno(errno));
    if (access == Access::kRead) return;  // never written: an empty log
    // Created before SQLite opens it, so that the log (and SQLite's files beside it, which take its
    // mode) is not readable by everyone: events name clients and mailboxes.
    UniqueFd created(open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0640));
    if (!created && errno != EEXIST) RaiseCode("Event log \"" + path_ + "\"", WinErrorFromErrno(errno));
  } else if (S_ISDIR(info.st_mode)) {
    RaiseCode("Event log \"" + path_ + "\"", ERROR_EVENTLOG_FILE_CORRUPT);
  }
  const bool writable = access == Access::kWrite && !IsWriteProtected();
  database_ = std::make_unique<SqliteDatabase>(
      path_, writable ? SqliteDatabase::Mode::kReadWrite : SqliteDatabase::Mode::kReadOnly);
  read_only_ = !writable || database_->IsReadOnly();
  if (!read_only_) {
    database_->Exec("PRAGMA journal_mode=WAL");
    // A commit reaches the disk at the next checkpoint: an event costs no disk flush of its own.
    database_->Exec("PRAGMA synchronous=NORMAL");
  }
  PrepareSchema(!read_only_);
}

void EventLogDatabase::PrepareSchema(bool writable) {
  auto check = [this] {
    auto application = database_->Prepare("PRAGMA application_id");
    const int64_t application_id = application.Step() ? application.ColumnInt64(0) : 0;
    auto tables =
        database_->Prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'events'");
    const bool has_table = tables.Step() && tables.ColumnInt64(0) == 1;
    auto anything = database_->Prepare("SELECT count(*) FROM sqlite_master");
    const bool empty = anything.Step() && anything.ColumnInt64(0) == 0;
    if (application_id == kEventLogApplicationId && has_table) return true;
    if (application_id == 0 && empty) return false;  // a new file, not yet made a log
    RaiseCode("Event log \"" + path_ + "\"", ERROR_EVENTLOG_FILE_CORRUPT);
  };
  if (!writable) {
    if (!check()) database_.reset();  // created but never made a log: empty
    return;
  }
  SqliteDatabase::Transaction transaction(*database_);
  if (!check()) {
    database_->Exec(kSchema);
    database_->Exec("PRAGMA application_id=" + std::to_string(kEventLogApplicationId) +
                    "; PRAGMA user_version=" + std::to_string(kSchemaVersion));
  }
  transaction.Commit();
}

bool EventLogDatabase::IsWriteProtected() const {
  const uint32_t attributes = GetFileAttributes(path_);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void EventLogDatabase::SetLimits(uint32_t max_size, uint32_t retention) {
  retention_ = retention;
  if (!database_ || read_only_) return;
  auto page_size = database_->Prepare("PRAGMA page_size");
  const int64_t page = page_size.Step() ? std::max<int64_t>(page_size.ColumnInt64(0), 512) : 4096;
  const int64_t pages = std::max(max_size, kMinimumEventLogMaxSize) / page;
  database_->Exec("PRAGMA max_page_count=" + std::to_string(pages));
}

uint32_t EventLogDatabase::Append(const EventLogRecord& record) {
  if (read_only_ || IsWriteProtected()) return ERROR_ACCESS_DENIED;
  if (!database_) return ERROR_EVENTLOG_FILE_CORRUPT;
  const std::string strings = PackStrings(record.Strings);
  for (int round = 0;; ++round) {
    try {
      // One statement, committed on its own: concurrent writers need no transaction of ours.
      auto insert = database_->Prepare(
          "INSERT INTO events(time_generated, time_written, source, type, category, event_id, computer,"
          " user_sid, string_count, strings, data) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
      insert.Bind(1, record.TimeGenerated)
          .Bind(2, static_cast<int64_t>(std::time(nullptr)))
          .BindBlob(3, record.SourceName)
          .Bind(4, static_cast<int64_t>(record.EventType))
          .Bind(5, static_cast<int64_t>(record.EventCategory))
          .Bind(6, static_cast<int64_t>(record.EventID))
          .BindBlob(7, record.ComputerName);
      if (record.UserSid.empty())
        insert.BindNull(8);
      else
        insert.BindBlob(8, record.UserSid);
      insert.Bind(9, static_cast<int64_t>(record.Strings.size()))
          .BindBlob(10, strings)
          .BindBlob(11, record.Data);
      insert.Run();
      return ERROR_SUCCESS;
    } catch (const SqliteError& error) {
      const uint32_t code = CodeOf(error);
      if (code != ERROR_LOG_FILE_FULL || retention_ == kRetentionNeverOverwrite || round == kOverwriteRounds)
        return code;
      try {
        if (DeleteOldest(static_cast<int64_t>(std::time(nullptr)) - retention_) == 0)
          return ERROR_LOG_FILE_FULL;
      } catch (const SqliteError& deleting) {
        return CodeOf(deleting);
      }
    }
  }
}

int EventLogDatabase::DeleteOldest(int64_t latest) {
  // A sixteenth of the log at a time, so that a full log does not make room for every single event.
  auto span = database_->Prepare("SELECT min(record_number), max(record_number) FROM events");
  int64_t batch = 16;
  if (span.Step() && !span.IsNull(0))
    batch = std::max<int64_t>(batch, (span.ColumnInt64(1) - span.ColumnInt64(0)) / 16);
  auto remove = database_->Prepare(
      "DELETE FROM events WHERE record_number IN"
      " (SELECT record_number FROM events WHERE time_written <= ? ORDER BY record_number LIMIT ?)"
      " RETURNING record_number");
  remove.Bind(1, latest).Bind(2, batch);
  int removed = 0;  // counted from the statement itself: the connection's change count is shared by threads
  while (remove.Step()) ++removed;
  return removed;
}

uint32_t EventLogDatabase::OpenIfWritten() {
  if (database_ || access_ == Access::kWrite) return ERROR_SUCCESS;
  try {
    Open(Access::kRead);  // a log that did not exist when the reader came may have been written since
  } catch (const EWin32Error& error) {
    return error.ErrorCode;
  } catch (const SqliteError& error) {
    return CodeOf(error);
  }
  return ERROR_SUCCESS;
}

uint32_t EventLogDatabase::Read(bool backwards, uint32_t after, bool inclusive, uint32_t max_records,
                                std::vector<EventLogRecord>* records) {
  records->clear();
  if (const uint32_t code = OpenIfWritten(); code != ERROR_SUCCESS) return code;
  if (!database_) return ERROR_HANDLE_EOF;
  std::string condition = backwards ? (inclusive ? "WHERE record_number <= ?" : "WHERE record_number < ?")
                                    : (inclusive ? "WHERE record_number >= ?" : "WHERE record_number > ?");
  try {
    auto query = database_->Prepare(std::string(kSelectColumns) + condition + " ORDER BY record_number " +
                                    (backwards ? "DESC" : "ASC") + " LIMIT ?");
    query.Bind(1, static_cast<int64_t>(after)).Bind(2, static_cast<int64_t>(max_records));
    while (query.Step()) records->push_back(ReadRecord(query));
  } catch (const SqliteError& error) {
    records->clear();
    return CodeOf(error);
  }
  return records->empty() ? ERROR_HANDLE_EOF : ERROR_SUCCESS;
}

uint32_t EventLogDatabase::Count(uint32_t* count) {
  *count = 0;
  if (const uint32_t code = OpenIfWritten(); code != ERROR_SUCCESS || !database_) return code;
  try {
    auto query = database_->Prepare("SELECT count(*) FROM events");
    if (query.Step()) *count = static_cast<uint32_t>(query.ColumnInt64(0));
  } catch (const SqliteError& error) {
    return CodeOf(error);
  }
  return ERROR_SUCCESS;
}

uint32_t EventLogDatabase::Oldest(uint32_t* oldest) {
  *oldest = 0;
  if (const uint32_t code = OpenIfWritten(); code != ERROR_SUCCESS || !database_) return code;
  try {
    auto query = database_->Prepare("SELECT min(record_number) FROM events");
    if (query.Step() && !query.IsNull(0)) *oldest = static_cast<uint32_t>(query.ColumnInt64(0));
  } catch (const SqliteError& error) {
    return CodeOf(error);
  }
  return ERROR_SUCCESS;
}

}  // namespace qv::platform::posix
