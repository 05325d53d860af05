// The process-wide objects of the service program made in this process: their slots, the apartment
// and the messaging library while they live, and nothing left behind when they go or fail to come.
#include <gtest/gtest.h>

#include "config/settings_snapshot.h"
#include "exchange/deck_settings.h"
#include "exchange/messaging_library.h"
#include "logging/request_log.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "platform/com/com.h"
#include "service/process_objects.h"
#include "testing/event_log_testing.h"
#include "testing/platform_checks.h"
#include "testing/quorvane_fixture.h"

namespace qv {
namespace {

using namespace qv::testing;

bool AnySlotFilled() {
  return Config.Exists() || EventLog.Exists() || TraceWriter.Exists() || RequestLog.Exists();
}

TEST(ProcessObjects, FillTheSlotsFromTheSettingsAndEmptyThemInTheEnd) {
  EventLogTestDir sandbox;
  const std::string trace_file = sandbox.Path() + "/Qvan.trace";
  SetMachineDword(kSettingsKey, "TraceDetailness", 2);
  SetMachineText(kSettingsKey, "TraceFile", trace_file);
  SetMachineDword(kSettingsKey, "logging", 0);
  {
    const ProcessObjects objects;
    ASSERT_TRUE(Config.Exists() && EventLog.Exists() && TraceWriter.Exists() && RequestLog.Exists());
    EXPECT_EQ(Config->TraceFile, trace_file);
    EXPECT_EQ(TraceWriter->TraceDetailness, 2);
    EXPECT_FALSE(RequestLog->Enabled);
    EXPECT_EQ(EventLog->SourceName, "Qvan");
    // This thread is in the multithreaded apartment, and the library answers.
    EXPECT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED), platform::S_FALSE);
    platform::CoUninitialize();
    EXPECT_EQ(cdo::CreateSession()->Version(), "1.21");
    TraceWriter->Trace("before the end", 2);
  }
  EXPECT_FALSE(AnySlotFilled());
  // The trace writer wrote what was queued before it went.
  EXPECT_NE(FileText(trace_file).find(" before the end\r\n"), std::string::npos);
  // The apartment was left with them.
  EXPECT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED), platform::S_OK);
  platform::CoUninitialize();
}

TEST(ProcessObjects, AMistypedSettingLeavesNoObjectBehind) {
  EventLogTestDir sandbox;
  SetMachineText(kSettingsKey, "TraceDetailness", "3");
  EXPECT_THROW(ProcessObjects(), ERegistryException);
  EXPECT_FALSE(AnySlotFilled());
}

TEST(ProcessObjects, ACharSetThatIsNoPlainNameStopsTheStartWithAnEvent) {
  EventLogTestDir sandbox;
  // A name that would end the XML declaration early.
  SetMachineText(kSettingsKey, "CharSet", "utf-8\"?><x");
  const std::string message =
      "Invalid character set name for 'CharSet': \"utf-8\"?><x\" (letters, digits and -_.: only)";
  try {
    ProcessObjects objects;
    ADD_FAILURE() << "the start went on";
  } catch (const ESettingError& error) {
    EXPECT_EQ(std::string(error.what()), message);
  }
  EXPECT_FALSE(AnySlotFilled());
  if (!SkipUnderWine(kWineKeepsNoEvents)) {
    EXPECT_THAT(QvanEvents(), ::testing::ElementsAre("0 1: " + message));
  }

  // A plain name starts.
  SetMachineText(kSettingsKey, "CharSet", "ISO_8859-1:1987");
  const ProcessObjects objects;
  EXPECT_EQ(Config->CharSet, "ISO_8859-1:1987");
}

#if QV_CALDAV
TEST(ProcessObjects, ACollectionTemplateThatIsNoHttpAddressStopsTheStartWithAnEvent) {
  EventLogTestDir sandbox;
  SetMachineText(kSettingsKey, "CalDAVCollectionTemplate", "dav.example.org/{mailbox}/");
  EXPECT_THROW(ProcessObjects(), ESettingError);
  EXPECT_FALSE(AnySlotFilled());
  EXPECT_THAT(QvanEvents(),
              ::testing::ElementsAre(::testing::StartsWith(
                  "0 1: Invalid address for 'CalDAVCollectionTemplate': \"dav.example.org/{mailbox}/\"")));
  SetMachineText(kSettingsKey, "CalDAVCollectionTemplate", "HTTPS://dav.example.org/{mailbox}/");
  const ProcessObjects objects;
  EXPECT_EQ(Config->CalDAVCollectionTemplate, "HTTPS://dav.example.org/{mailbox}/");
}
#endif

}  // namespace
}  // namespace qv
