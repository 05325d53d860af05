// The start-up checks of the messaging library's version and of the information store's program,
// with their events and trace lines. The store's program files are built by the test as PE32 and
// PE32+ images with chosen version resources and registered as the information store's; the real
// quorvane-store (QV_STORE_PROGRAM) is checked both after a store's creation has registered it and
// after its own "register". Other library versions are the store's sessions registered under another
// version number (testing/versioned_library.h), and a locale with a decimal comma shows that both
// numbers are read in the locale's notation.
#include "exchange/startup_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/settings_snapshot.h"
#include "exchange/calendar_store_driver.h"
#include "exchange/messaging_library.h"
#include "platform/com/com.h"
#include "platform/event_log/event_description.h"
#include "platform/files/file_attributes.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "rescomp/image_writer.h"
#include "store/calendar_store.h"
#include "store/information_store.h"
#include "support/version_info.h"
#include "testing/event_log_testing.h"
#include "testing/machine_registry.h"
#include "testing/platform_checks.h"
#include "testing/process_objects_fixture.h"
#include "testing/resource_files.h"
#include "testing/versioned_library.h"

namespace qv {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr const char* kStoreKey = "SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS";

// A locale that writes numbers with a decimal comma.
platform::LocaleInfo CommaLocale() {
  platform::LocaleInfo locale = platform::UnitedStatesLocale();
  locale.decimal_separator = ',';
  return locale;
}

struct Event {
  uint32_t id = 0;
  std::vector<std::string> strings;
  std::string text;  // as a viewer shows it
};

// The process-wide objects the checks report through (a trace at level 1) over a fresh state
// directory, with environment variables set for the test's time.
class StartupCheckTest : public ::testing::Test {
 protected:
  void TearDown() override {
    objects_.End();
    // Latest first, so a variable set twice gets its first value back.
    for (auto saved = saved_variables_.rbegin(); saved != saved_variables_.rend(); ++saved)
      platform::SetEnvironmentVariable(saved->first, saved->second);
  }

  void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    saved_variables_.emplace_back(name, platform::GetEnvironmentVariable(name));
    platform::SetEnvironmentVariable(name, value);
  }

  static std::vector<Event> Events() {
    std::vector<Event> events;
    for (const platform::EventLogRecord& record : qv::testing::ReadAllEvents()) {
      Event event{record.EventID, record.Strings, std::string()};
      EXPECT_EQ(record.EventType, platform::EVENTLOG_ERROR_TYPE);
      EXPECT_EQ(record.SourceName, "Qvan");
      platform::FormatEventDescription(platform::EventMessageFiles(record.SourceName), record.EventID,
                                       record.Strings, &event.text);
      events.push_back(std::move(event));
    }
    return events;
  }

  // The trace file's entries without their time stamps; the objects are ended first, so the writer
  // writes what was queued.
  std::vector<std::string> TraceEntries() {
    objects_.End();
    std::string content;
    std::vector<std::string> entries;
    if (!platform::ReadWholeFile(qv::testing::ProcessObjectsFixture::TraceFile(), &content)) return entries;
    for (size_t from = 0; from < content.size();) {
      const size_t end = content.find("\r\n", from);
      const std::string line = content.substr(from, end - from);
      // The time stamp's form depends on the locale; the checks' lines begin with one of these.
      size_t text_start = std::string::npos;
      for (const char* start : {" CDO ", " Wrong Exchange Server "})
        text_start = std::min(text_start, line.find(start));
      entries.push_back(text_start == std::string::npos ? line : line.substr(text_start + 1));
      from = end == std::string::npos ? content.size() : end + 2;
    }
    return entries;
  }

  // A program file whose version resource holds the values, registered as the information store's.
  std::string RegisterStoreProgram(const std::vector<std::pair<std::string, std::string>>& values,
                                   rescomp::PeFormat format = rescomp::PeFormat::kPe32) {
    const std::string path = objects_.File("store" + std::to_string(++programs_) + ".exe");
    qv::testing::WriteBytes(
        path, rescomp::BuildPeImage({qv::testing::VersionResourceEntry(qv::testing::VersionResource(values))},
                                    format));
    SetImagePath(path);
    return path;
  }

  static void SetImagePath(const std::string& path) {
    qv::testing::SetMachineText(kStoreKey, "ImagePath", path);
  }

  // Exchange 5.5 as its information store's file states it, with the given Comments.
  std::string RegisterExchange(const std::string& product_version, const std::string& comments) {
    return RegisterStoreProgram({{"CompanyName", "Microsoft Corporation"},
                                 {"FileVersion", "5.5.2653.23"},
                                 {"ProductVersion", product_version},
                                 {"Comments", comments}});
  }

  qv::testing::ProcessObjectsFixture objects_{std::vector<qv::testing::Setting>{{"TraceDetailness", 1u}}};

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_variables_;
  int programs_ = 0;
};

using CdoVersionCheck = StartupCheckTest;

TEST_F(CdoVersionCheck, VersionsFromOnePointTwoOnPassQuietly) {
  EXPECT_TRUE(CheckCdoVersion());  // the calendar store's own "1.21"
  for (const char* version : {"1.21", "1.2", "1.20", "2", "10.0"}) {
    qv::testing::RegisterLibraryOfVersion(version);
    EXPECT_TRUE(CheckCdoVersion()) << version;
  }
  EXPECT_THAT(Events(), IsEmpty());
  EXPECT_THAT(TraceEntries(), IsEmpty());
}

TEST_F(CdoVersionCheck, AnOlderLibraryGivesEvent121WithBothVersions) {
  qv::testing::RegisterLibraryOfVersion("1.1");
  EXPECT_FALSE(CheckCdoVersion());
  qv::testing::RegisterLibraryOfVersion("1.19");
  EXPECT_FALSE(CheckCdoVersion());
  EXPECT_THAT(TraceEntries(), ElementsAre("CDO wrong Version: only 1.1", "CDO wrong Version: only 1.19"));
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].id, 121u);
  EXPECT_THAT(events[0].strings, ElementsAre("1.1", "1.2"));
  EXPECT_EQ(
      events[0].text,
      "Wrong CDO library Version.\r\nThe curent Version is 1.1. At least the Version 1.2 is required.\r\n");
  EXPECT_THAT(events[1].strings, ElementsAre("1.19", "1.2"));
}

TEST_F(CdoVersionCheck, ReadsAndWritesTheVersionWithTheLocalesSeparator) {
  const platform::LocaleInfo comma = CommaLocale();
  // "1.21" is no number where the comma separates the decimals: the library counts as failed.
  EXPECT_FALSE(CheckCdoVersion(comma));
  qv::testing::RegisterLibraryOfVersion("1,1");
  EXPECT_FALSE(CheckCdoVersion(comma));
  qv::testing::RegisterLibraryOfVersion("1,21");
  EXPECT_TRUE(CheckCdoVersion(comma));
  // And the other way round.
  EXPECT_FALSE(CheckCdoVersion(platform::UnitedStatesLocale()));
  EXPECT_THAT(TraceEntries(), ElementsAre("CDO error '1.21' is not a valid floating point value",
                                          "CDO wrong Version: only 1,1",
                                          "CDO error '1,21' is not a valid floating point value"));

  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].id, 120u);
  EXPECT_THAT(events[0].strings, ElementsAre("'1.21' is not a valid floating point value"));
  EXPECT_EQ(events[0].text,
            "A CDO library error occurred. The error message reads:\r\n'1.21' is not a valid floating point "
            "value\r\n");
  EXPECT_EQ(events[1].id, 121u);
  EXPECT_THAT(events[1].strings, ElementsAre("1,1", "1,2"));
  EXPECT_EQ(events[2].id, 120u);
  EXPECT_THAT(events[2].strings, ElementsAre("'1,21' is not a valid floating point value"));
}

TEST_F(CdoVersionCheck, ALibraryThatCannotBeCreatedGivesEvent120WithItsMessage) {
  platform::CoRevokeClass(cdo::CLSID_Session);
  EXPECT_FALSE(CheckCdoVersion());
  qv::testing::RegisterLibraryOfVersion("");
  EXPECT_FALSE(CheckCdoVersion());  // an empty version text is no number either

  const std::vector<std::string> trace = TraceEntries();
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_THAT(trace[0], AllOf(StartsWith("CDO error "), HasSubstr("Class not registered"),
                              EndsWith("[REGDB_E_CLASSNOTREG(80040154)]")));
  EXPECT_EQ(trace[1], "CDO error '' is not a valid floating point value");
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].id, 120u);
  EXPECT_THAT(events[0].strings, ElementsAre(trace[0].substr(std::string("CDO error ").size())));
  EXPECT_THAT(events[1].strings, ElementsAre("'' is not a valid floating point value"));
}

using ExchangeVersionCheck = StartupCheckTest;

TEST_F(ExchangeVersionCheck, FivePointFiveWithServicePackTwoOrLaterPasses) {
  RegisterExchange("5.5", "Microsoft Exchange Server, Service Pack 2");
  EXPECT_TRUE(CheckExchangeVersion());
  // The number counts, not how it is written: 5.50 is 5.5; later service packs pass as well.
  RegisterExchange("5.50", "Service Pack 4");
  EXPECT_TRUE(CheckExchangeVersion());
  RegisterExchange("5.5", "Service Pack   12");
  EXPECT_TRUE(CheckExchangeVersion());
  // Without "Service Pack" the service pack is the Comments text from its twelfth character on.
  RegisterExchange("5.5", "Release SP 3");
  EXPECT_TRUE(CheckExchangeVersion());
  // A PE32+ file is read alike.
  RegisterStoreProgram({{"ProductVersion", "5.5"}, {"Comments", "Service Pack 2"}},
                       rescomp::PeFormat::kPe32Plus);
  EXPECT_TRUE(CheckExchangeVersion());
  EXPECT_THAT(Events(), IsEmpty());
  EXPECT_THAT(TraceEntries(), IsEmpty());
}

TEST_F(ExchangeVersionCheck, AServicePackBelowTwoGivesEvent126WithTheTextAfterServicePack) {
  RegisterExchange("5.5", "Microsoft Exchange Server, Service Pack 1");
  EXPECT_FALSE(CheckExchangeVersion());
  // Further words after the number: no whole number, so service pack 0.
  RegisterExchange("5.5", "Service Pack 2 (Rollup)");
  EXPECT_FALSE(CheckExchangeVersion());
  RegisterExchange("5.5", "Service Pack 2 ");
  EXPECT_FALSE(CheckExchangeVersion());
  // No "Service Pack", and too short for a twelfth character; no Comments at all.
  RegisterExchange("5.5", "SP2");
  EXPECT_FALSE(CheckExchangeVersion());
  RegisterStoreProgram({{"ProductVersion", "5.5"}});
  EXPECT_FALSE(CheckExchangeVersion());
  EXPECT_THAT(
      TraceEntries(),
      ElementsAre("Wrong Exchange Server ServicePack:  1", "Wrong Exchange Server ServicePack:  2 (Rollup)",
                  "Wrong Exchange Server ServicePack:  2 ",
                  "Wrong Exchange Server ServicePack: ", "Wrong Exchange Server ServicePack: "));

  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 5u);
  for (const Event& event : events) EXPECT_EQ(event.id, 126u);
  EXPECT_THAT(events[0].strings, ElementsAre(" 1", "2"));
  EXPECT_EQ(
      events[0].text,
      "Wrong Exchange Server - ServicePack.\r\nThe curent ServicePack is  1. At least the ServicePack 2 is "
      "required.\r\n");
  EXPECT_THAT(events[1].strings, ElementsAre(" 2 (Rollup)", "2"));
  EXPECT_THAT(events[2].strings, ElementsAre(" 2 ", "2"));
  EXPECT_THAT(events[3].strings, ElementsAre("", "2"));
  EXPECT_THAT(events[4].strings, ElementsAre("", "2"));
}

TEST_F(ExchangeVersionCheck, AnyOtherProductVersionGivesEvent125) {
  const std::string sp2 = "Service Pack 2";
  for (const char* version : {"5.0", "5", "5.51", "6.0", "5.5.2653", "", "5,5"}) {
    RegisterExchange(version, sp2);
    EXPECT_FALSE(CheckExchangeVersion()) << version;
  }
  const std::vector<std::string> trace = TraceEntries();
  ASSERT_EQ(trace.size(), 7u);
  size_t i = 0;
  for (const char* version : {"5.0", "5", "5.51", "6.0", "5.5.2653", "", "5,5"})
    EXPECT_EQ(trace[i++], std::string("Wrong Exchange Server Version: ") + version);

  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 7u);
  EXPECT_EQ(events[0].text,
            "Wrong Exchange Server Version.\r\nThe curent Version is 5.0. The Version 5.5 is required.\r\n");
  i = 0;
  for (const char* version : {"5.0", "5", "5.51", "6.0", "5.5.2653", "", "5,5"}) {
    EXPECT_EQ(events[i].id, 125u);
    EXPECT_THAT(events[i].strings, ElementsAre(version, "5.5"));
    ++i;
  }
}

TEST_F(ExchangeVersionCheck, ReadsAndWritesTheProductVersionWithTheLocalesSeparator) {
  const platform::LocaleInfo comma = CommaLocale();
  RegisterExchange("5,5", "Service Pack 2");
  EXPECT_TRUE(CheckExchangeVersion(comma));
  RegisterExchange("5.5", "Service Pack 2");
  EXPECT_FALSE(CheckExchangeVersion(comma));
  EXPECT_THAT(TraceEntries(), ElementsAre("Wrong Exchange Server Version: 5.5"));
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, 125u);
  EXPECT_THAT(events[0].strings, ElementsAre("5.5", "5,5"));
}

TEST_F(ExchangeVersionCheck, WithoutImagePathTheServicesOwnVersionIsCheckedAndRefused) {
  const std::string own_version = TVersionInfo().ProductVersion();
  ASSERT_FALSE(own_version.empty());
  EXPECT_FALSE(CheckExchangeVersion());
  // A key without the value is the same.
  SetImagePath("");
  EXPECT_FALSE(CheckExchangeVersion());
  EXPECT_THAT(TraceEntries(), ElementsAre("Wrong Exchange Server Version: " + own_version,
                                          "Wrong Exchange Server Version: " + own_version));
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].id, 125u);
  EXPECT_THAT(events[0].strings, ElementsAre(own_version, "5.5"));
  EXPECT_THAT(events[1].strings, ElementsAre(own_version, "5.5"));
}

TEST_F(ExchangeVersionCheck, ARegisteredFileThatIsMissingHasNoVersion) {
  SetImagePath(objects_.File("no-such-store.exe"));
  EXPECT_FALSE(CheckExchangeVersion());
  EXPECT_THAT(TraceEntries(), ElementsAre("Wrong Exchange Server Version: "));
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, 125u);
  EXPECT_THAT(events[0].strings, ElementsAre("", "5.5"));
}

TEST_F(ExchangeVersionCheck, AnUnreadableFileVersionLeavesTheCheck) {
  RegisterStoreProgram(
      {{"FileVersion", "5.5.2653.23 (SP2)"}, {"ProductVersion", "5.5"}, {"Comments", "Service Pack 2"}});
  EXPECT_THROW(
      {
        try {
          CheckExchangeVersion();
        } catch (const EConvertError& error) {
          EXPECT_STREQ(error.what(), "'23 (SP2)' is not a valid integer value");
          throw;
        }
      },
      EConvertError);
  EXPECT_THAT(Events(), IsEmpty());
  EXPECT_THAT(TraceEntries(), IsEmpty());
}

// The calendar store stands in for the information store on this machine.
class StoreProgramRegistrationTest : public StartupCheckTest {
 protected:
  static std::optional<std::string> ImagePath() {
    platform::RegKey key;
    if (platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, kStoreKey, 0, platform::KEY_READ,
                               key.Receive()) != platform::ERROR_SUCCESS)
      return std::nullopt;
    uint32_t type = 0;
    std::string data;
    if (platform::RegQueryValueEx(key.Get(), "ImagePath", &type, &data) != platform::ERROR_SUCCESS)
      return std::nullopt;
    EXPECT_EQ(type, platform::REG_SZ);
    return data.substr(0, data.find('\0'));
  }
};

TEST_F(StoreProgramRegistrationTest, CreatingTheStoreRegistersTheMaintenanceProgramAndTheCheckPasses) {
  SetVariable(kStoreProgramVariable, QV_STORE_PROGRAM);
  EXPECT_EQ(StoreProgramFile(), QV_STORE_PROGRAM);
  {
    CalendarStore store;
    ASSERT_TRUE(store.ProgramRegistration().has_value());
    EXPECT_EQ(store.ProgramRegistration()->outcome, StoreProgramRegistration::Outcome::kRegistered);
  }
  EXPECT_EQ(ImagePath(), QV_STORE_PROGRAM);
  EXPECT_EQ(Config->GetExchangeImagePath(), QV_STORE_PROGRAM);

  const TVersionInfo program(QV_STORE_PROGRAM);
  EXPECT_EQ(program.ProductVersion(), "5.5");
  EXPECT_THAT(program.Comments(), EndsWith("Service Pack 2"));
  EXPECT_TRUE(CheckExchangeVersion());
  EXPECT_THAT(Events(), IsEmpty());
}

TEST_F(StoreProgramRegistrationTest, TheProgramRegistersItselfWhenAsked) {
  // There a child writes the machine's registry, not the test's own.
  QV_SKIP_REST_ON_WINDOWS("a child's registration (the test's registry is its own process's)");
  uint32_t exit_code = 1;
  ASSERT_TRUE(platform::RunProgram(QV_STORE_PROGRAM, {"register"}, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(ImagePath(), QV_STORE_PROGRAM);
  EXPECT_TRUE(CheckExchangeVersion());
}

TEST_F(StoreProgramRegistrationTest, OnlyTheFirstCreationRegistersAndAnEarlierRegistrationIsKept) {
  SetVariable(kStoreProgramVariable, QV_STORE_PROGRAM);
  CalendarStore{};
  // Opening the store again registers nothing, also when the value has gone meanwhile.
  {
    platform::RegKey key;
    ASSERT_EQ(platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, kStoreKey, 0, platform::KEY_ALL_ACCESS,
                                     key.Receive()),
              platform::ERROR_SUCCESS);
    ASSERT_EQ(platform::RegDeleteValue(key.Get(), "ImagePath"), platform::ERROR_SUCCESS);
  }
  EXPECT_FALSE(CalendarStore().ProgramRegistration().has_value());
  EXPECT_EQ(ImagePath(), std::nullopt);

  // A store made where another information store is registered leaves that one in place.
  for (const char* suffix : {"", "-wal", "-shm"})
    platform::DeleteFile(objects_.File(CalendarStore::kFileName + std::string(suffix)));
  ASSERT_FALSE(platform::FileExists(objects_.File(CalendarStore::kFileName)));
  SetImagePath("/opt/exchsrvr/bin/store.exe");
  const CalendarStore store;
  ASSERT_TRUE(store.ProgramRegistration().has_value());
  EXPECT_EQ(store.ProgramRegistration()->outcome, StoreProgramRegistration::Outcome::kKept);
  EXPECT_EQ(store.ProgramRegistration()->program, "/opt/exchsrvr/bin/store.exe");
  EXPECT_EQ(ImagePath(), "/opt/exchsrvr/bin/store.exe");
}

TEST_F(StoreProgramRegistrationTest, AStoreMadeWithoutItsProgramIsNotRegisteredAndTheCheckFails) {
  // Beside this test program there is no maintenance program.
  SetVariable(kStoreProgramVariable, std::nullopt);
  EXPECT_THAT(StoreProgramFile(), EndsWith(platform::PathDelimiter() + std::string("quorvane-store") +
                                           platform::ProgramFileSuffix()));
  ASSERT_FALSE(platform::FileExists(StoreProgramFile()));
  {
    CalendarStore store;
    ASSERT_TRUE(store.ProgramRegistration().has_value());
    EXPECT_EQ(store.ProgramRegistration()->outcome, StoreProgramRegistration::Outcome::kProgramMissing);
    EXPECT_EQ(store.ProgramRegistration()->program, StoreProgramFile());
    store.AddMailbox("jdoe", "John Doe", std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12));
  }
  EXPECT_EQ(ImagePath(), std::nullopt);
  EXPECT_FALSE(CheckExchangeVersion());
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, 125u);
}

TEST_F(StoreProgramRegistrationTest, ARefusingRegistryDoesNotKeepTheStoreFromBeingMade) {
  QV_SKIP_REST_ON_WINDOWS("a write-protected hive file (Windows keeps its own registry)");
  SetVariable(kStoreProgramVariable, QV_STORE_PROGRAM);
  ASSERT_TRUE(platform::SetFileAttributes(objects_.File("registry.db"), platform::FILE_ATTRIBUTE_READONLY));
  {
    CalendarStore store;
    ASSERT_TRUE(store.ProgramRegistration().has_value());
    EXPECT_EQ(store.ProgramRegistration()->outcome, StoreProgramRegistration::Outcome::kRefused);
    EXPECT_EQ(store.ProgramRegistration()->reason, "Access is denied.");
    store.AddMailbox("jdoe", "John Doe", std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12));
  }
  ASSERT_TRUE(platform::SetFileAttributes(objects_.File("registry.db"), platform::FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(ImagePath(), std::nullopt);
  EXPECT_TRUE(CalendarStore().FindMailbox("jdoe").has_value());
}

TEST_F(StoreProgramRegistrationTest, AStoreElsewhereRegistersNothing) {
  SetVariable(kStoreProgramVariable, QV_STORE_PROGRAM);
  EXPECT_FALSE(CalendarStore(objects_.File("other.db")).ProgramRegistration().has_value());
  EXPECT_EQ(ImagePath(), std::nullopt);
}

}  // namespace
}  // namespace qv
