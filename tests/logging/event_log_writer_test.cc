#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "config/registry_object.h"
#include "logging/service_event_log.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/event_log/event_description.h"
#include "platform/files/file_attributes.h"
#include "platform/process/module.h"
#include "platform/registry/registry.h"
#include "support/general_functions.h"
#include "testing/event_log_testing.h"
#include "testing/platform_checks.h"
#include "testing/process_objects_fixture.h"

namespace qv {
namespace {

using qv::testing::ReadAllEvents;

const std::string kSourcesKey = std::string(platform::kApplicationLogKey) + "\\";

// The EventMessageFile of a source; nothing when the key or the value is missing.
std::optional<std::string> MessageFileOf(const std::string& source) {
  TRegistry registry;
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  KeyCloser closer(registry);
  if (!registry.OpenKey(kSourcesKey + source, false) || !registry.ValueExists("EventMessageFile"))
    return std::nullopt;
  return registry.ReadString("EventMessageFile");
}

void SetMessageFile(const std::string& source, const std::string& file) {
  TRegistry registry;
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  KeyCloser closer(registry);
  ASSERT_TRUE(registry.OpenKey(kSourcesKey + source, true));
  registry.WriteString("EventMessageFile", file);
}

std::string Description(const platform::EventLogRecord& event) {
  std::string text;
  EXPECT_TRUE(platform::FormatEventDescription(platform::EventMessageFiles(event.SourceName), event.EventID,
                                               event.Strings, &text));
  return text;
}

TEST(EventLogWriter, RegistersTheSourceWithThisProgramAsItsCatalogue) {
  qv::testing::EventLogTestDir dir;
  EXPECT_FALSE(MessageFileOf("Qvan"));
  TWCEventLog log;
  EXPECT_EQ(log.SourceName, "Qvan");
  EXPECT_EQ(log.ServerName, "");
  EXPECT_EQ(MessageFileOf("Qvan"), platform::GetModuleFileName());

  // A later start leaves a value that points elsewhere as it is: only installation rewrites it.
  SetMessageFile("Qvan", "/opt/elsewhere/quorvane");
  TWCEventLog again;
  EXPECT_EQ(MessageFileOf("Qvan"), "/opt/elsewhere/quorvane");
}

TEST(EventLogWriter, AnEmptySourceNameIsTheProgramsName) {
  qv::testing::EventLogTestDir dir;
  TVeskApplLogWriter log("", "");
  const std::string program = ExtractFileBaseName(platform::GetModuleFileName());
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(log.SourceName, program);
  EXPECT_EQ(MessageFileOf(program), platform::GetModuleFileName());
  ASSERT_TRUE(log.WriteEvent(eltInformation, 0, 1, "started"));
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].SourceName, program);
}

TEST(EventLogWriter, ASourceThatCannotBeOpenedIsAnError) {
  qv::testing::EventLogTestDir dir;
  try {
    TWCEventLog log("\\\\elsewhere", "Qvan");
    FAIL() << "opened an event log on another machine";
  } catch (const EApplLogError& error) {
    if (!qv::testing::SkipUnderWine("the system's text of error 1722 (Wine's texts are its own)")) {
      EXPECT_EQ(error.Message(),
                "Cannot register at EventViewer. LastError: 1722 (The RPC server is unavailable.)");
    }
  }
}

TEST(EventLogWriter, MapsEachTypeAndPassesStringsInOrder) {
  qv::testing::EventLogTestDir dir;
  TWCEventLog log("", "Qvan");
  EXPECT_TRUE(log.WriteEvent(eltError, 0, 100));
  EXPECT_TRUE(log.WriteEvent(eltWarning, 0, 111, "20"));
  EXPECT_TRUE(log.WriteEvent(eltInformation, 0, 121, "1.1", "1.21"));
  EXPECT_TRUE(log.WriteEvent(eltAuditSuccess, 3, 110, "one", "two", "three"));
  const std::vector<std::string> list{"a", "", "c", "d"};
  EXPECT_TRUE(log.WriteEvent(eltAuditFailure, 0, 200, list));
  const char data[] = {1, 0, 2};
  EXPECT_TRUE(log.WriteEvent(eltError, 0, 50, &list, data, sizeof(data)));

  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 6u);
  const uint16_t types[] = {platform::EVENTLOG_ERROR_TYPE,       platform::EVENTLOG_WARNING_TYPE,
                            platform::EVENTLOG_INFORMATION_TYPE, platform::EVENTLOG_AUDIT_SUCCESS,
                            platform::EVENTLOG_AUDIT_FAILURE,    platform::EVENTLOG_ERROR_TYPE};
  for (size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i].EventType, types[i]) << i;
  EXPECT_TRUE(events[0].Strings.empty());  // a count of 0
  EXPECT_EQ(events[1].Strings, std::vector<std::string>{"20"});
  EXPECT_EQ(events[2].Strings, (std::vector<std::string>{"1.1", "1.21"}));
  EXPECT_EQ(events[3].Strings, (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(events[3].EventCategory, 3);
  EXPECT_EQ(events[4].Strings, list);
  EXPECT_EQ(events[5].Data, std::string(data, sizeof(data)));
}

TEST(EventLogWriter, RefusesAnUnknownTypeAndWritesNothing) {
  qv::testing::EventLogTestDir dir;
  TWCEventLog log;
  try {
    log.WriteEvent(static_cast<TEventLogType>(5), 0, 111, "20");
    FAIL() << "type 5 was taken";
  } catch (const EApplLogError& error) {
    EXPECT_EQ(error.Message(), "Invalid EventLogType supplied: 5");
  }
  EXPECT_THROW(log.WriteEvent(static_cast<TEventLogType>(255), 0, 1), EApplLogError);
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  EXPECT_TRUE(ReadAllEvents().empty());
}

// A writer whose source is closed under it.
class ClosedWriter : public TWCEventLog {
 public:
  void CloseSource() {
    platform::DeregisterEventSource(Handle);
    Handle = platform::HEVENTLOG{};
  }
};

TEST(EventLogWriter, WritingWithoutAnOpenSourceIsAnError) {
  qv::testing::EventLogTestDir dir;
  ClosedWriter log;
  log.CloseSource();
  try {
    log.WriteEvent(eltError, 0, 100, "reset");
    FAIL() << "wrote without a source";
  } catch (const EApplLogError& error) {
    EXPECT_EQ(error.Message(), "Cannot write to event log, because Handle is zero");
  }
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  EXPECT_TRUE(ReadAllEvents().empty());
}

TEST(EventLogWriter, MoreStringsThanTheCountCanHoldAreRefusedWhole) {
  qv::testing::EventLogTestDir dir;
  TWCEventLog log;
  const std::vector<std::string> strings(65536, "s");
  EXPECT_FALSE(log.WriteEvent(eltError, 0, 50, strings));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_INVALID_PARAMETER);
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  EXPECT_TRUE(ReadAllEvents().empty());
  EXPECT_TRUE(log.WriteEvent(eltError, 0, 50, std::vector<std::string>(65535, "s")));
  ASSERT_EQ(ReadAllEvents().size(), 1u);
  EXPECT_EQ(ReadAllEvents()[0].Strings.size(), 65535u);
}

TEST(EventLogWriter, GoesOnWhenTheRegistryRefusesTheRegistration) {
  QV_SKIP_REST_ON_WINDOWS("a write-protected hive file (Windows keeps its own registry)");
  qv::testing::EventLogTestDir dir;
  {
    TRegistry touch;
    touch.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    touch.KeyExists("Software");
  }
  ASSERT_TRUE(platform::SetFileAttributes(platform::RegistryHiveFile(), platform::FILE_ATTRIBUTE_READONLY));
  TWCEventLog log;
  EXPECT_TRUE(log.WriteEvent(eltWarning, 0, 111, "20"));
  EXPECT_FALSE(MessageFileOf("Qvan"));
  EXPECT_EQ(ReadAllEvents().size(), 1u);
  ASSERT_TRUE(platform::SetFileAttributes(platform::RegistryHiveFile(), platform::FILE_ATTRIBUTE_NORMAL));
}

TEST(EventLogWriter, AFullOrWriteProtectedLogGivesFalse) {
  QV_SKIP_REST_ON_WINDOWS("a write-protected event-log file (Windows keeps its own log)");
  qv::testing::EventLogTestDir dir;
  TWCEventLog log;
  ASSERT_TRUE(log.WriteEvent(eltInformation, 0, 1, "started"));
  ASSERT_TRUE(platform::SetFileAttributes(dir.File("eventlog.db"), platform::FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(log.WriteEvent(eltWarning, 0, 111, "20"));
  ASSERT_TRUE(platform::SetFileAttributes(dir.File("eventlog.db"), platform::FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(ReadAllEvents().size(), 1u);
}

TEST(EventLogWriter, ManyThreadsWritingAtOnceLoseNone) {
  const qv::testing::ProcessObjectsFixture objects({}, qv::testing::kEventLogObject);
  constexpr int kThreads = 8;
  constexpr int kEach = 150;
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &refused] {
      for (int i = 0; i < kEach; ++i) {
        if (!EventLog->WriteEvent(eltWarning, 0, 111, std::to_string(t), std::to_string(i))) ++refused;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(refused.load(), 0);
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), static_cast<size_t>(kThreads * kEach));
  std::set<std::vector<std::string>> distinct;
  for (const auto& event : events) distinct.insert(event.Strings);
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kEach));
}

TEST(EventLogWriter, TheEventsReadAsTheCatalogueSays) {
  qv::testing::EventLogTestDir dir;
  TWCEventLog log;  // registers this test program, which carries the catalogue
  log.WriteEvent(eltWarning, 0, 111, "20");
  log.WriteEvent(eltError, 0, 50, "GetStackAddress", "Out of memory");
  log.WriteEvent(eltWarning, 0, 101);
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(Description(events[0]), "Request reject!\r\nMaximum connection of 20 reached!\r\n");
  EXPECT_EQ(Description(events[1]),
            "A Exception occurred at GetStackAddress.\r\nThe error message reads:\r\nOut of memory\r\n");
  EXPECT_EQ(Description(events[2]), "Flushing Buffer!\r\nNo End-Pattern found.\r\n");
}

}  // namespace
}  // namespace qv
