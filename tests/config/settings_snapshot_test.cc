#include "config/settings_snapshot.h"

#include <gtest/gtest.h>

#include "logging/service_event_log.h"
#include "platform/files/file_system.h"
#include "platform/locale/locale.h"
#include "platform/process/module.h"
#include "registry_fixture.h"
#include "support/general_functions.h"
#include "testing/process_objects_fixture.h"

namespace qv {
namespace {

using platform::REG_DWORD;
using platform::REG_EXPAND_SZ;
using platform::REG_SZ;
using testing::DwordBytes;
using testing::StoredValue;
using testing::Sz;

constexpr const char* kSettings = "Software\\HOLLBERG\\Qvan";

class TWCConfigTest : public testing::RegistryTest {
 protected:
  static std::string ProgramDirectory() { return ExtractFilePath(platform::GetModuleFileName()); }

  static std::string StartupError() {
    try {
      TWCConfig config;
    } catch (const ERegistryException& error) {
      return error.Message();
    }
    return "no error";
  }
};

TEST_F(TWCConfigTest, AFreshMachineGetsExactlyFourValuesAndTheDefaults) {
  const TWCConfig config;
  EXPECT_EQ(ValueNames(kSettings), InListingOrder({"Port", "DeckHeader", "LogFile", "logging"}));
  EXPECT_EQ(Get(kSettings, "Port"), (StoredValue{REG_DWORD, DwordBytes(80)}));
  EXPECT_EQ(Get(kSettings, "DeckHeader"), (StoredValue{REG_SZ, Sz("Quorvane")}));
  const std::string log_file = ProgramDirectory() + "Qvan.log";
  EXPECT_EQ(Get(kSettings, "LogFile"), (StoredValue{REG_SZ, log_file + '\0'}));
  EXPECT_EQ(Get(kSettings, "logging"), (StoredValue{REG_DWORD, DwordBytes(1)}));

  EXPECT_EQ(config.Port, 80);
  EXPECT_EQ(config.ServerTimeOut, 60000);
  EXPECT_EQ(config.SocketTimeOut, 1000);
  EXPECT_EQ(config.DeckHeader, "Quorvane");
  EXPECT_EQ(config.CharSet, "iso-8859-1");
  EXPECT_EQ(config.LogFile, log_file);
  EXPECT_TRUE(config.logging);
  EXPECT_EQ(config.TraceFile, ProgramDirectory() + "Qvan.trace");
  EXPECT_EQ(config.TraceDetailness, 0);
  EXPECT_EQ(config.ExchangeServer, "127.0.0.1");
  EXPECT_EQ(config.DateFormat, platform::CurrentLocale().short_date_format);
  EXPECT_EQ(config.TimeFormat, platform::CurrentLocale().short_time_format);
  EXPECT_EQ(config.MaxConnections, 20);
  EXPECT_EQ(config.LogonFailureLimit, 5);
  EXPECT_EQ(config.LogonRetryDelay, 1000);
  EXPECT_EQ(config.LogonRetryDelayMax, 60000);
  EXPECT_EQ(config.StopTimeOut, 5000);
  EXPECT_EQ(config.LogonCacheSeconds, 300);
  EXPECT_EQ(config.CalDAVConnectTimeOut, 3000);
  EXPECT_EQ(config.CalDAVReadTimeOut, 5000);
  EXPECT_EQ(config.CalDAVRefreshSeconds, 10);
  EXPECT_EQ(config.CalDAVCAFile, "");
  EXPECT_EQ(ProgramDirectory().back(), platform::PathDelimiter());

  // The next start reads what the first one stored and adds nothing.
  const TWCConfig again;
  EXPECT_EQ(ValueNames(kSettings).size(), 4u);
}

TEST_F(TWCConfigTest, StoredSettingsAreTakenAsTheyAre) {
  Set(kSettings, "Port", REG_DWORD, DwordBytes(8080));
  Set(kSettings, "ServerTimeOut", REG_DWORD, DwordBytes(5));
  Set(kSettings, "SocketTimeOut", REG_DWORD, DwordBytes(0xFFFFFFFF));  // no range check: -1
  Set(kSettings, "CharSet", REG_EXPAND_SZ, Sz("%CHARSET%-x"));
  Set(kSettings, "logging", REG_DWORD, DwordBytes(5));
  Set(kSettings, "TraceFile", REG_SZ, Sz(""));
  Set(kSettings, "TraceDetailness", REG_DWORD, DwordBytes(3));
  Set(kSettings, "DateFormat", REG_SZ, Sz("dd.mm.yyyy"));
  Set(kSettings, "TimeFormat", REG_EXPAND_SZ, Sz("hh:nn"));
  Set(kSettings, "MaxConnections", REG_DWORD, DwordBytes(2));
  Set(kSettings, "CalDAVRefreshSeconds", REG_DWORD, DwordBytes(0));
  Set(kSettings, "CalDAVCAFile", REG_SZ, Sz("/etc/ssl/private-ca.pem"));
  const TWCConfig config;
  EXPECT_EQ(config.Port, 8080);
  EXPECT_EQ(config.ServerTimeOut, 5);
  EXPECT_EQ(config.SocketTimeOut, -1);
  EXPECT_EQ(config.CharSet, "%CHARSET%-x");
  EXPECT_TRUE(config.logging);
  EXPECT_EQ(config.TraceFile, "");
  EXPECT_EQ(config.TraceDetailness, 3);
  EXPECT_EQ(config.DateFormat, "dd.mm.yyyy");
  EXPECT_EQ(config.TimeFormat, "hh:nn");
  EXPECT_EQ(config.MaxConnections, 2);
  EXPECT_EQ(config.CalDAVRefreshSeconds, 0);
  EXPECT_EQ(config.CalDAVCAFile, "/etc/ssl/private-ca.pem");
}

TEST_F(TWCConfigTest, MistypedWrittenBackSettingsAreReplaced) {
  Set(kSettings, "Port", REG_SZ, Sz("8080"));
  Set(kSettings, "DeckHeader", REG_EXPAND_SZ, Sz("Mine"));
  Set(kSettings, "logging", REG_SZ, Sz("0"));
  const TWCConfig config;
  EXPECT_EQ(config.Port, 80);
  EXPECT_EQ(Get(kSettings, "Port"), (StoredValue{REG_DWORD, DwordBytes(80)}));
  EXPECT_EQ(config.DeckHeader, "Quorvane");
  EXPECT_EQ(Get(kSettings, "DeckHeader"), (StoredValue{REG_SZ, Sz("Quorvane")}));
  EXPECT_TRUE(config.logging);
  EXPECT_EQ(Get(kSettings, "logging"), (StoredValue{REG_DWORD, DwordBytes(1)}));
}

TEST_F(TWCConfigTest, MistypedReadOnlySettingsStopTheStart) {
  Set(kSettings, "MaxConnections", REG_SZ, Sz("abc"));
  EXPECT_EQ(StartupError(), "Invalid data type for 'MaxConnections'");
  Set(kSettings, "MaxConnections", REG_SZ, Sz("abcd"));  // the NUL makes five bytes
  EXPECT_EQ(StartupError(), "Failed to get data for 'MaxConnections'");
  Set(kSettings, "MaxConnections", REG_DWORD, DwordBytes(20));

  Set(kSettings, "ServerTimeOut", REG_SZ, Sz("1"));
  EXPECT_EQ(StartupError(), "Invalid data type for 'ServerTimeOut'");
  Set(kSettings, "ServerTimeOut", REG_DWORD, DwordBytes(1));

  Set(kSettings, "CharSet", REG_DWORD, DwordBytes(1));
  EXPECT_EQ(StartupError(), "Invalid data type for 'CharSet'");
  Set(kSettings, "CharSet", REG_DWORD, "");  // a mistyped text without data reads as empty text
  EXPECT_EQ(TWCConfig().CharSet, "");
}

TEST_F(TWCConfigTest, InstallationAndRemovalSteps) {
  TWCConfig config;
  const std::string sources = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application";
  const std::string service = "SYSTEM\\CurrentControlSet\\Services\\Quorvane";
  const std::string earlier = "SYSTEM\\CurrentControlSet\\Services\\Qvan";

  config.DeleteEventSource();  // nothing there: nothing happens
  config.DeleteDescription();
  EXPECT_FALSE(KeyExists(sources));

  Set(sources + "\\Qvan", "EventMessageFile", REG_SZ, Sz("old"));
  Set(sources + "\\Qvan\\Nested", "X", REG_SZ, Sz("x"));
  Set(sources + "\\Other", "EventMessageFile", REG_SZ, Sz("o"));
  config.RegisterEventMessageFile();
  EXPECT_EQ(Get(sources + "\\Qvan", "EventMessageFile"),
            (StoredValue{REG_SZ, platform::GetModuleFileName() + '\0'}));
  config.WriteDescription();
  EXPECT_EQ(Get(service, "Description"), (StoredValue{REG_SZ, Sz("Read Exchange dates on Wap-Phones")}));

  config.DeleteEventSource();
  EXPECT_FALSE(KeyExists(sources + "\\Qvan"));
  EXPECT_TRUE(KeyExists(sources + "\\Other"));
  config.DeleteDescription();
  EXPECT_TRUE(KeyExists(service));
  EXPECT_FALSE(Get(service, "Description"));
  EXPECT_FALSE(KeyExists(earlier));

  // The key an earlier installation left with the description alone goes; one that holds anything
  // else is another's and stays.
  config.DeleteEarlierDescription();
  Set(earlier, "Description", REG_SZ, Sz("Read Exchange dates on Wap-Phones"));
  config.DeleteEarlierDescription();
  EXPECT_FALSE(KeyExists(earlier));
  Set(earlier, "Description", REG_SZ, Sz("Read Exchange dates on Wap-Phones"));
  Set(earlier, "ImagePath", REG_SZ, Sz("/usr/sbin/qvan"));
  config.DeleteEarlierDescription();
  EXPECT_TRUE(Get(earlier, "Description"));
}

TEST_F(TWCConfigTest, ExchangeImagePathIsReadAtEachCall) {
  TWCConfig config;
  EXPECT_EQ(config.GetExchangeImagePath(), "");
  Set("SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS", "ImagePath", REG_EXPAND_SZ,
      Sz("%SystemRoot%\\store.exe"));
  EXPECT_EQ(config.GetExchangeImagePath(), "%SystemRoot%\\store.exe");
  EXPECT_FALSE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\Qvan"));
}

TEST(TWCConfigSlot, TheProcessWideSnapshotReadsTheSettingsAndGoesWithItsMaker) {
  EXPECT_FALSE(Config.Exists());
  {
    const testing::ProcessObjectsFixture objects({{"Port", 8080u}}, testing::kConfigObject);
    EXPECT_EQ(Config->Port, 8080);
    EXPECT_FALSE(EventLog.Exists());
  }
  EXPECT_FALSE(Config.Exists());
}

}  // namespace
}  // namespace qv
