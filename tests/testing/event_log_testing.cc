#include "testing/event_log_testing.h"

#include <gtest/gtest.h>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"

namespace qv::testing {

namespace {
constexpr const char* kSyslogVariable = "QUORVANE_SYSLOG_SOCKET";
}

EventLogTestDir::EventLogTestDir() : previous_syslog_(platform::GetEnvironmentVariable(kSyslogVariable)) {
  platform::SetEnvironmentVariable(kSyslogVariable, "");
}

EventLogTestDir::~EventLogTestDir() {
  platform::SetEnvironmentVariable(kSyslogVariable, previous_syslog_);
}

void EventLogTestDir::SetSyslogSocket(const std::string& path) {
  platform::SetEnvironmentVariable(kSyslogVariable, path);
}

std::vector<platform::EventLogRecord> ReadAllEvents() {
  std::vector<platform::EventLogRecord> all;
  const platform::HEVENTLOG log = platform::OpenEventLog("", "Application");
  EXPECT_NE(log, platform::HEVENTLOG{}) << platform::GetLastError();
  if (log == platform::HEVENTLOG{}) return all;
  std::vector<platform::EventLogRecord> batch;
  while (platform::ReadEventLog(log, platform::EVENTLOG_SEQUENTIAL_READ | platform::EVENTLOG_FORWARDS_READ, 0,
                                100, &batch))
    all.insert(all.end(), batch.begin(), batch.end());
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_HANDLE_EOF);
  platform::CloseEventLog(log);
  return all;
}

std::vector<platform::EventLogRecord> EventsWithId(uint32_t event_id) {
  std::vector<platform::EventLogRecord> events = ReadAllEvents();
  std::erase_if(events, [&](const platform::EventLogRecord& event) { return event.EventID != event_id; });
  return events;
}

std::string CatalogueProgram() {
  return platform::GetModuleFileName();
}

}  // namespace qv::testing
