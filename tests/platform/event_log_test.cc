// The application event log: an event reported through a source comes back from the log with every
// part, and the calls refuse what the interface refuses. On Linux the log is the state directory's,
// fresh for each test; on Windows it is the system's, so the event is found by a text of this run.
#include "platform/event_log/event_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "platform/com/com.h"
#include "platform/com/guid.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/process/module.h"
#include "testing/event_log_testing.h"
#include "testing/platform_checks.h"

namespace qv::platform {
namespace {

constexpr const char* kSource = "Quorvane test";

// The newest events of the log, newest first.
std::vector<EventLogRecord> NewestEvents(uint32_t count) {
  std::vector<EventLogRecord> events;
  const HEVENTLOG log = OpenEventLog("", "Application");
  EXPECT_NE(log, HEVENTLOG{});
  if (log == HEVENTLOG{}) return events;
  ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, count, &events);
  CloseEventLog(log);
  return events;
}

TEST(EventLog, KeepsEveryPartOfAReportedEvent) {
  qv::testing::EventLogTestDir dir;
  const std::string marker = GuidToString(CreateGuid());
  const HEVENTLOG source = RegisterEventSource("", kSource);
  ASSERT_NE(source, HEVENTLOG{});
  Sid sid;
  ASSERT_TRUE(TextToSid("S-1-5-21-1-2-3-1000", &sid));
  const char* strings[] = {marker.c_str(), "", "caf\xE9"};
  const std::string data("\x01\0\xFF", 3);
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  ASSERT_TRUE(ReportEvent(source, EVENTLOG_WARNING_TYPE, 7, 111, &sid, 3, 3, strings, data.data()));
  const int64_t after = static_cast<int64_t>(std::time(nullptr));
  EXPECT_TRUE(DeregisterEventSource(source));
  QV_SKIP_REST_UNDER_WINE("reading the event back (Wine's ReportEvent keeps nothing)");

  const std::vector<EventLogRecord> events = NewestEvents(20);
  const auto found = std::find_if(events.begin(), events.end(), [&](const EventLogRecord& event) {
    return !event.Strings.empty() && event.Strings[0] == marker;
  });
  ASSERT_NE(found, events.end());
  EXPECT_EQ(found->SourceName, kSource);
  EXPECT_EQ(found->EventID, 111u);
  EXPECT_EQ(found->EventType, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(found->EventCategory, 7);
  EXPECT_GE(found->TimeGenerated, before);
  EXPECT_LE(found->TimeWritten, after);
  EXPECT_LE(found->TimeGenerated, found->TimeWritten);
  EXPECT_EQ(found->ComputerName, GetComputerName());
  EXPECT_EQ(found->UserSid, sid);
  EXPECT_EQ(found->Strings, (std::vector<std::string>{marker, "", "caf\xE9"}));
  EXPECT_EQ(found->Data, data);
  QV_SKIP_REST_ON_WINDOWS("the log's file and its first record (the system keeps its own log)");
  EXPECT_EQ(found->RecordNumber, 1u);
  EXPECT_TRUE(FileExists(dir.File("eventlog.db")));
  EXPECT_EQ(EventLogFile(), dir.File("eventlog.db"));
}

TEST(EventLog, RefusesWhatTheInterfaceRefuses) {
  qv::testing::EventLogTestDir dir;
  const HEVENTLOG source = RegisterEventSource("", kSource);
  ASSERT_NE(source, HEVENTLOG{});
  EXPECT_FALSE(ReportEvent(source, 3, 0, 1, nullptr, 0, 0, nullptr, nullptr));  // not an event type
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReportEvent(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 2, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  const std::string too_much(kMaxEventDataSize + 1, 'x');
  EXPECT_FALSE(ReportEvent(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0,
                           static_cast<uint32_t>(too_much.size()), nullptr, too_much.data()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  const char* with_null[] = {"a", nullptr};
  EXPECT_FALSE(ReportEvent(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 2, 0, with_null, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReportEvent(HEVENTLOG{}, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // A source is no reading handle; no other machine is reached for.
  std::vector<EventLogRecord> batch;
  EXPECT_FALSE(ReadEventLog(source, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 1, &batch));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // A read names one way of reading and one direction, and asks for something.
  const HEVENTLOG log = OpenEventLog("", "Application");
  ASSERT_NE(log, HEVENTLOG{});
  for (const uint32_t flags : {EVENTLOG_FORWARDS_READ, EVENTLOG_SEQUENTIAL_READ,
                               EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ,
                               EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ}) {
    EXPECT_FALSE(ReadEventLog(log, flags, 1, 1, &batch)) << flags;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << flags;
  }
  EXPECT_FALSE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0, &batch));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 1, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseEventLog(log));
  EXPECT_TRUE(DeregisterEventSource(source));
  EXPECT_EQ(RegisterEventSource("\\\\elsewhere", kSource), HEVENTLOG{});
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(OpenEventLog("elsewhere", "Application"), HEVENTLOG{});
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  for (const std::string& local : {std::string("."), std::string("localhost"), GetComputerName()}) {
    const HEVENTLOG named = RegisterEventSource(local, kSource);
    EXPECT_NE(named, HEVENTLOG{}) << local;
    DeregisterEventSource(named);
  }
  QV_SKIP_REST_ON_WINDOWS("an empty log after the refusals (the system's log holds other events)");
  EXPECT_TRUE(qv::testing::ReadAllEvents().empty());
}

}  // namespace
}  // namespace qv::platform
