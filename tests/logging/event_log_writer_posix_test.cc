// The event-log writer over the Linux stand-ins: a write-protected hive or event-log file.
#include <gtest/gtest.h>

#include <optional>

#include "config/registry.h"
#include "logging/wc_event_log.h"
#include "platform/file_attributes.h"
#include "platform/registry.h"
#include "testing/event_log_testing.h"

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

TEST(EventLogWriter, GoesOnWhenTheRegistryRefusesTheRegistration) {
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
  qv::testing::EventLogTestDir dir;
  TWCEventLog log;
  ASSERT_TRUE(log.WriteEvent(eltInformation, 0, 1, "started"));
  ASSERT_TRUE(platform::SetFileAttributes(dir.File("eventlog.db"), platform::FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(log.WriteEvent(eltWarning, 0, 111, "20"));
  ASSERT_TRUE(platform::SetFileAttributes(dir.File("eventlog.db"), platform::FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(ReadAllEvents().size(), 1u);
}

}  // namespace
}  // namespace qv
