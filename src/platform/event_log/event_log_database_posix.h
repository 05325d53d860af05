// The event log stand-in's store: the events of the application log as rows of an SQLite database
// (WAL mode) that every process shares. The database is bounded in size; when it is full the oldest
// events that the retention allows to be overwritten make room. Internal to the POSIX platform layer.
//
// Record numbers come from an AUTOINCREMENT key, so a number never comes back once its event was
// deleted. Texts are stored as the bytes they are (Windows-1252), the insertion strings each followed
// by a NUL as EVENTLOGRECORD keeps them. The size bound is SQLite's max_page_count; a full log with
// nothing it may overwrite gives ERROR_LOG_FILE_FULL. The application id "QVEL" marks the file: any
// other file in its place is never written (ERROR_EVENTLOG_FILE_CORRUPT for writers and readers alike).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_log/event_log.h"
#include "platform/sqlite/sqlite_database.h"

namespace qv::platform::posix {

class EventLogDatabase {
 public:
  enum class Access { kWrite, kRead };

  // Opens the database file. For writing, a missing file is created (mode 0640) with its table; a
  // write-protected file (no write permission bits) is opened for reading only, and appending then
  // fails with ERROR_ACCESS_DENIED. For reading, a missing file is an empty log. Raises EWin32Error
  // with ERROR_EVENTLOG_FILE_CORRUPT for a file that is not a sound event log, or the file's own error.
  EventLogDatabase(const std::string& path, Access access);
  EventLogDatabase(const EventLogDatabase&) = delete;
  EventLogDatabase& operator=(const EventLogDatabase&) = delete;

  // Bounds the database to max_size bytes (at least kMinimumEventLogMaxSize); retention: the seconds
  // an event is kept before it may be overwritten (kRetentionNeverOverwrite: never).
  void SetLimits(uint32_t max_size, uint32_t retention);

  // Adds the event (its RecordNumber is given by the log). Returns a Windows error code. Several
  // threads may append at once.
  uint32_t Append(const EventLogRecord& record);

  // Up to max_records events after (forwards) or before (backwards) the record number `after`,
  // nearest first; with inclusive the record `after` itself too. Returns a Windows error code.
  uint32_t Read(bool backwards, uint32_t after, bool inclusive, uint32_t max_records,
                std::vector<EventLogRecord>* records);
  uint32_t Count(uint32_t* count);
  uint32_t Oldest(uint32_t* oldest);

 private:
  void Open(Access access);
  void PrepareSchema(bool writable);
  bool IsWriteProtected() const;
  // Opens a reader's database that did not exist before; a Windows error code.
  uint32_t OpenIfWritten();
  // Removes some of the oldest events written at or before `latest`; how many were removed.
  int DeleteOldest(int64_t latest);
  // A Windows error code for a database failure.
  static uint32_t CodeOf(const SqliteError& error);

  std::string path_;
  Access access_;
  std::unique_ptr<SqliteDatabase> database_;  // none: the file does not exist (reading)
  bool read_only_ = false;
  uint32_t retention_ = 0;
};

}  // namespace qv::platform::posix
