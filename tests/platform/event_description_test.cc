// What a viewer shows of an event, found through the source's registration in the registry.
#include "platform/event_log/event_description.h"

#include <gtest/gtest.h>

#include "platform/errors/win_error.h"
#include "platform/event_log/event_log.h"
#include "platform/process/environment.h"
#include "platform/registry/registry.h"
#include "testing/event_log_testing.h"

namespace qv::platform {
namespace {

void RegisterMessageFile(const std::string& source, const std::string& files, uint32_t type = REG_SZ) {
  RegKey key;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, std::string(kApplicationLogKey) + "\\" + source, 0,
                           KEY_ALL_ACCESS, key.Receive(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.Get(), "EventMessageFile", type, files + '\0'), ERROR_SUCCESS);
}

TEST(EventDescription, FindsTheCatalogueThroughTheSourcesRegistration) {
  qv::testing::EventLogTestDir dir;
  EXPECT_TRUE(EventMessageFiles("Qvan").empty());
  RegisterMessageFile("Qvan", "/nonexistent/program ; " + qv::testing::CatalogueProgram());
  EXPECT_EQ(EventMessageFiles("QVAN"),
            (std::vector<std::string>{"/nonexistent/program", qv::testing::CatalogueProgram()}));
  std::string text;
  // The first file that holds the message counts; a missing one is passed over.
  ASSERT_TRUE(FormatEventDescription(EventMessageFiles("Qvan"), 111, {"20"}, &text));
  EXPECT_EQ(text, "Request reject!\r\nMaximum connection of 20 reached!\r\n");
  EXPECT_FALSE(FormatEventDescription(EventMessageFiles("Qvan"), 4711, {}, &text));
  EXPECT_FALSE(FormatEventDescription({}, 111, {"20"}, &text));

  SetEnvironmentVariable("QV_TEST_PROGRAM", qv::testing::CatalogueProgram());
  RegisterMessageFile("Expanded", "%QV_TEST_PROGRAM%", REG_EXPAND_SZ);
  EXPECT_EQ(EventMessageFiles("Expanded"), std::vector<std::string>{qv::testing::CatalogueProgram()});
  RegisterMessageFile("Kept", "%QV_TEST_PROGRAM%");  // REG_SZ is taken as it stands
  EXPECT_EQ(EventMessageFiles("Kept"), std::vector<std::string>{"%QV_TEST_PROGRAM%"});
  SetEnvironmentVariable("QV_TEST_PROGRAM", std::nullopt);
}

TEST(EventDescription, SaysSoWhenNoCatalogueHasTheMessage) {
  EXPECT_EQ(
      MissingEventDescription("Other", 7, {"first", "second"}),
      "The description for Event ID 7 from source Other cannot be found. Either the component that raises "
      "this event is not installed on this computer, or its message file (EventMessageFile) is missing or "
      "holds no such message.\r\n\r\nThe following information was included with the event:\r\n\r\n"
      "first\r\nsecond\r\n");
  EXPECT_EQ(MissingEventDescription("Other", 7, {}).find("following information"), std::string::npos);
}

}  // namespace
}  // namespace qv::platform
