// The system's application event log: an event reported through a source comes back from the log
// with every part, and the calls refuse what the interface refuses.
#include "platform/event_log.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform/com.h"
#include "platform/guid.h"
#include "platform/last_error.h"
#include "platform/module.h"
#include "platform/win_error.h"
#include "testing/platform_checks.h"

namespace qv::platform {
namespace {

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

TEST(SystemEventLog, KeepsEveryPartOfAReportedEvent) {
  // A text of this run, so that the event found is this test's.
  const std::string marker = GuidToString(CreateGuid());
  const HEVENTLOG source = RegisterEventSource("", "Quorvane test");
  ASSERT_NE(source, HEVENTLOG{});
  const char* strings[] = {marker.c_str(), "caf\xE9"};
  const std::string data("\x01\0\xFF", 3);
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  ASSERT_TRUE(ReportEvent(source, EVENTLOG_WARNING_TYPE, 7, 111, nullptr, 2, 3, strings, data.data()));
  EXPECT_TRUE(DeregisterEventSource(source));
  if (qv::testing::SkipUnderWine("reading the event back (Wine's ReportEvent keeps nothing)")) return;

  const std::vector<EventLogRecord> events = NewestEvents(20);
  const auto found = std::find_if(events.begin(), events.end(), [&](const EventLogRecord& event) {
    return !event.Strings.empty() && event.Strings[0] == marker;
  });
  ASSERT_NE(found, events.end());
  EXPECT_EQ(found->SourceName, "Quorvane test");
  EXPECT_EQ(found->EventID, 111u);
  EXPECT_EQ(found->EventType, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(found->EventCategory, 7);
  EXPECT_GE(found->TimeGenerated, before);
  EXPECT_EQ(found->Strings, (std::vector<std::string>{marker, "caf\xE9"}));
  EXPECT_EQ(found->Data, data);
}

TEST(SystemEventLog, RefusesWhatTheInterfaceRefuses) {
  const HEVENTLOG source = RegisterEventSource("", "Quorvane test");
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
  EXPECT_TRUE(DeregisterEventSource(source));

  // A source is no reading handle; no other machine is reached for.
  std::vector<EventLogRecord> batch;
  EXPECT_FALSE(ReadEventLog(source, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 1, &batch));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegisterEventSource("\\\\elsewhere", "Quorvane test"), HEVENTLOG{});
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(OpenEventLog("elsewhere", "Application"), HEVENTLOG{});
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  for (const std::string& local : {std::string("."), std::string("localhost"), GetComputerName()}) {
    const HEVENTLOG named = RegisterEventSource(local, "Quorvane test");
    EXPECT_NE(named, HEVENTLOG{}) << local;
    DeregisterEventSource(named);
  }
}

}  // namespace
}  // namespace qv::platform
