// The application event log of the system: sources report with RegisterEventSource and ReportEvent,
// and the log is read back with ReadEventLog. The viewer finds an event's text through the source's
// EventMessageFile, as it does for any program.
//
// A reading handle keeps the number of the last record it read and reads on with seek reads, so that
// a read takes exactly the records asked for: ReadEventLog on its own takes as many whole records as
// fit in the buffer and moves past all of them.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/event_log/event_log.h"
#include "platform/event_log/event_log_arguments.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

struct EventLogReader {
  HANDLE log = nullptr;
  uint32_t last_read = 0;  // 0 before the first read
};

// The reading handles that are open: a source's handle (the system's) is never taken for one.
struct Readers {
  std::mutex mutex;
  std::set<const EventLogReader*> open;
};

Readers& OpenReaders() {
  static Readers readers;
  return readers;
}

EventLogReader* ReaderOf(HEVENTLOG handle) {
  auto* reader = reinterpret_cast<EventLogReader*>(static_cast<uintptr_t>(handle));
  Readers& readers = OpenReaders();
  std::lock_guard<std::mutex> lock(readers.mutex);
  if (readers.open.count(reader) == 0) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return reader;
}

// A NUL-terminated wide text inside the record, up to its end.
std::string TextAt(const uint8_t* record, size_t record_size, size_t offset, size_t* next) {
  std::wstring text;
  size_t at = offset;
  while (at + 1 < record_size) {
    wchar_t c;
    std::memcpy(&c, record + at, sizeof(c));
    at += sizeof(c);
    if (c == L'\0') break;
    text += c;
  }
  if (next != nullptr) *next = at;
  return win32::Narrow(text);
}

EventLogRecord ParseRecord(const uint8_t* bytes, size_t size) {
  EVENTLOGRECORD fixed;
  std::memcpy(&fixed, bytes, sizeof(fixed));
  EventLogRecord record;
  record.RecordNumber = fixed.RecordNumber;
  record.TimeGenerated = fixed.TimeGenerated;
  record.TimeWritten = fixed.TimeWritten;
  record.EventID = fixed.EventID;
  record.EventType = fixed.EventType;
  record.EventCategory = fixed.EventCategory;
  size_t next = 0;
  record.SourceName = TextAt(bytes, size, sizeof(EVENTLOGRECORD), &next);
  record.ComputerName = TextAt(bytes, size, next, nullptr);
  if (fixed.UserSidLength > 0 && fixed.UserSidOffset + fixed.UserSidLength <= size)
    record.UserSid.assign(reinterpret_cast<const char*>(bytes + fixed.UserSidOffset), fixed.UserSidLength);
  size_t at = fixed.StringOffset;
  for (WORD i = 0; i < fixed.NumStrings && at < size; ++i)
    record.Strings.push_back(TextAt(bytes, size, at, &at));
  if (fixed.DataLength > 0 && fixed.DataOffset + fixed.DataLength <= size)
    record.Data.assign(reinterpret_cast<const char*>(bytes + fixed.DataOffset), fixed.DataLength);
  return record;
}

// The number of the oldest and of the newest record; false when the log is empty or unreadable.
bool RecordRange(HANDLE log, DWORD* oldest, DWORD* newest) {
  DWORD count = 0;
  if (!::GetOldestEventLogRecord(log, oldest) || !::GetNumberOfEventLogRecords(log, &count)) return false;
  if (count == 0) return false;
  *newest = *oldest + count - 1;
  return true;
}

}  // namespace

std::string EventLogFile() {
  return std::string();  // the system keeps the log
}

HEVENTLOG RegisterEventSource(const std::string& server_name, const std::string& source_name) {
  if (!IsLocalEventLogServer(server_name)) {
    ::SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return HEVENTLOG{};
  }
  const HANDLE source = ::RegisterEventSourceW(nullptr, win32::Wide(source_name).c_str());
  return static_cast<HEVENTLOG>(reinterpret_cast<uintptr_t>(source));
}

bool DeregisterEventSource(HEVENTLOG source) {
  if (ReaderOf(source) != nullptr) return FailWith(ERROR_INVALID_HANDLE);  // a reading handle is no source
  return ::DeregisterEventSource(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(source))) != 0;
}

bool ReportEvent(HEVENTLOG source, uint16_t type, uint16_t category, uint32_t event_id, const Sid* user_sid,
                 uint16_t num_strings, uint32_t data_size, const char* const* strings, const void* raw_data) {
  if (source == HEVENTLOG{} || ReaderOf(source) != nullptr) return FailWith(ERROR_INVALID_HANDLE);
  std::vector<std::string> narrow;
  if (!TakeEventArguments(type, num_strings, data_size, strings, raw_data, &narrow)) return false;
  std::vector<std::wstring> texts;
  texts.reserve(narrow.size());
  for (const std::string& text : narrow) texts.push_back(win32::Wide(text));
  std::vector<LPCWSTR> pointers;
  for (const std::wstring& text : texts) pointers.push_back(text.c_str());
  PSID sid = nullptr;
  std::string sid_bytes;
  if (user_sid != nullptr && !user_sid->empty()) {
    sid_bytes = *user_sid;
    sid = sid_bytes.data();
  }
  return ::ReportEventW(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(source)), type, category, event_id,
                        sid, num_strings, data_size, pointers.empty() ? nullptr : pointers.data(),
                        const_cast<void*>(raw_data)) != 0;
}

HEVENTLOG OpenEventLog(const std::string& server_name, const std::string& log_name) {
  if (!IsLocalEventLogServer(server_name)) {
    ::SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return HEVENTLOG{};
  }
  const HANDLE log = ::OpenEventLogW(nullptr, win32::Wide(log_name).c_str());
  if (log == nullptr) return HEVENTLOG{};
  auto reader = std::make_unique<EventLogReader>();
  reader->log = log;
  Readers& readers = OpenReaders();
  std::lock_guard<std::mutex> lock(readers.mutex);
  readers.open.insert(reader.get());
  return static_cast<HEVENTLOG>(reinterpret_cast<uintptr_t>(reader.release()));
}

bool CloseEventLog(HEVENTLOG log) {
  EventLogReader* reader = ReaderOf(log);
  if (reader == nullptr) return false;
  const std::unique_ptr<EventLogReader> owned(reader);
  {
    Readers& readers = OpenReaders();
    std::lock_guard<std::mutex> lock(readers.mutex);
    readers.open.erase(reader);
  }
  return ::CloseEventLog(owned->log) != 0;
}

bool ReadEventLog(HEVENTLOG log, uint32_t flags, uint32_t record_offset, uint32_t max_records,
                  std::vector<EventLogRecord>* records) {
  EventLogReader* reader = ReaderOf(log);
  if (reader == nullptr) return false;
  EventLogReadRequest request;
  if (!TakeEventLogReadFlags(flags, max_records, records, &request)) return false;
  const bool backwards = request.backwards;
  DWORD oldest = 0;
  DWORD newest = 0;
  if (!RecordRange(reader->log, &oldest, &newest)) return FailWith(ERROR_HANDLE_EOF);
  uint64_t next;
  if (request.seek) {
    next = record_offset;
  } else if (reader->last_read == 0) {
    next = backwards ? newest : oldest;
  } else {
    next = backwards ? static_cast<uint64_t>(reader->last_read) - 1
                     : static_cast<uint64_t>(reader->last_read) + 1;
  }
  if (backwards && next > newest) next = newest;
  if (!backwards && next < oldest) next = oldest;
  if (next < oldest || next > newest) return FailWith(ERROR_HANDLE_EOF);

  std::vector<EventLogRecord> read;
  std::vector<uint8_t> buffer(64 * 1024);
  const DWORD direction = backwards ? EVENTLOG_BACKWARDS_READ : EVENTLOG_FORWARDS_READ;
  while (read.size() < max_records && next >= oldest && next <= newest) {
    DWORD got = 0;
    DWORD needed = 0;
    if (!::ReadEventLogW(reader->log, EVENTLOG_SEEK_READ | direction, static_cast<DWORD>(next), buffer.data(),
                         static_cast<DWORD>(buffer.size()), &got, &needed)) {
      if (::GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
        buffer.resize(needed);
        continue;
      }
      if (!read.empty() || ::GetLastError() == ERROR_HANDLE_EOF) break;
      return false;
    }
    if (got == 0) break;
    const size_t before = read.size();
    size_t at = 0;
    while (at + sizeof(EVENTLOGRECORD) <= got && read.size() < max_records) {
      DWORD length = 0;
      std::memcpy(&length, buffer.data() + at, sizeof(length));
      if (length < sizeof(EVENTLOGRECORD) || at + length > got) break;
      read.push_back(ParseRecord(buffer.data() + at, length));
      at += length;
    }
    if (read.size() == before) break;
    next = backwards ? static_cast<uint64_t>(read.back().RecordNumber) - 1
                     : static_cast<uint64_t>(read.back().RecordNumber) + 1;
  }
  if (read.empty()) return FailWith(ERROR_HANDLE_EOF);
  reader->last_read = read.back().RecordNumber;
  *records = std::move(read);
  return true;
}

bool GetNumberOfEventLogRecords(HEVENTLOG log, uint32_t* count) {
  EventLogReader* reader = ReaderOf(log);
  if (reader == nullptr) return false;
  DWORD number = 0;
  if (!::GetNumberOfEventLogRecords(reader->log, &number)) return false;
  *count = number;
  return true;
}

bool GetOldestEventLogRecord(HEVENTLOG log, uint32_t* oldest) {
  EventLogReader* reader = ReaderOf(log);
  if (reader == nullptr) return false;
  DWORD number = 0;
  DWORD count = 0;
  if (!::GetOldestEventLogRecord(reader->log, &number) || !::GetNumberOfEventLogRecords(reader->log, &count))
    return false;
  *oldest = count == 0 ? 0 : number;
  return true;
}

}  // namespace qv::platform
