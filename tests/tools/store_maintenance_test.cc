#include "tools/store_maintenance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "store/calendar_store.h"
#include "store/information_store.h"
#include "testing/machine_registry.h"
#include "testing/test_state_dir.h"
#include "tools/tool_command_fixture.h"

namespace qv::tools {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// The text with every run of digits written as one "#", so that sizes and row numbers compare.
std::string DigitsAsHash(const std::string& text) {
  const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!is_digit(text[i]))
      result += text[i];
    else if (i == 0 || !is_digit(text[i - 1]))
      result += '#';
  }
  return result;
}

const platform::Sid kOwner = std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);

// n events of a day each, every one with a long description.
std::string Calendar(int events) {
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Test//EN\r\n";
  for (int i = 0; i < events; ++i) {
    text += "BEGIN:VEVENT\r\nUID:e" + std::to_string(i) + "\r\nDTSTART;VALUE=DATE:2024" +
            (i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1) + "10\r\nSUMMARY:Event " +
            std::to_string(i) + "\r\nDESCRIPTION:" + std::string(600, 'x') + "\r\nEND:VEVENT\r\n";
  }
  return text + "END:VCALENDAR\r\n";
}

class StoreMaintenanceTest : public ToolCommandTest {
 protected:
  void SetUp() override { previous_program_ = platform::GetEnvironmentVariable(kStoreProgramVariable); }
  void TearDown() override { platform::SetEnvironmentVariable(kStoreProgramVariable, previous_program_); }

  int Run(const std::vector<std::string>& args) {
    ToolStreams io = FreshStreams();
    return RunStoreMaintenance(args, io, own_file_);
  }

  static std::optional<std::string> ImagePath() {
    return qv::testing::MachineValue("SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS", "ImagePath");
  }

  qv::testing::TestStateDir state_dir_;
  const std::string store_file_ = state_dir_.File(CalendarStore::kFileName);
  std::string own_file_ = state_dir_.File("quorvane-store");
  std::optional<std::string> previous_program_;
};

TEST_F(StoreMaintenanceTest, CheckReportsASoundStoreWithItsContents) {
  {
    CalendarStore store;
    store.AddMailbox("jdoe", "John Doe", kOwner);
    store.AddMailbox("anna", "Anna", kOwner);
    store.Import("jdoe", Calendar(3), false);
  }
  EXPECT_EQ(Run({"check"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), store_file_ + ": ok; 2 mailboxes, 3 events, 3 appointments.\n");
  EXPECT_THAT(err_.str(), IsEmpty());
}

TEST_F(StoreMaintenanceTest, CheckListsTheFaultsOfADamagedStore) {
  {
    CalendarStore store;
    store.AddMailbox("jdoe", "John Doe", kOwner);
    store.AddMailbox("anna", "Anna", kOwner);
    store.Import("jdoe", Calendar(2), false);
    platform::SqliteDatabase& database = store.Database();
    // A text of an event that is gone, and an appointment filed under another mailbox than its event.
    database.Exec("PRAGMA foreign_keys = OFF");
    database.Exec("INSERT INTO texts (event_id, subject, location, body) VALUES (999, 'lost', '', '')");
    database.Exec(
        "UPDATE appointments SET mailbox_id = (SELECT id FROM mailboxes WHERE name = 'anna') "
        "WHERE id = (SELECT min(id) FROM appointments)");
  }
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_EQ(DigitsAsHash(out_.str()),
            "row # of texts refers to a missing row of events\n"
            "# appointments are filed under another mailbox than their event\n");
  EXPECT_THAT(out_.str(), HasSubstr("\n1 appointments are filed"));
  EXPECT_EQ(err_.str(), "quorvane-store: \"" + store_file_ + "\" is damaged: 2 faults\n");
}

TEST_F(StoreMaintenanceTest, MaintenanceNeverCreatesAStore) {
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_EQ(err_.str(), "quorvane-store: there is no calendar store at \"" + store_file_ +
                            "\" (qvanctl mailbox add creates it)\n");
  EXPECT_EQ(Run({"vacuum"}), 1);
  EXPECT_FALSE(platform::FileExists(store_file_));

  // Another file in its place is no store.
  ASSERT_TRUE(platform::WriteWholeFile(store_file_, std::string(4096, 'x')));
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_THAT(err_.str(), StartsWith("quorvane-store: "));
  EXPECT_THAT(err_.str(), HasSubstr("not a database"));
  ASSERT_TRUE(platform::DeleteFile(store_file_));
  { platform::SqliteDatabase empty(store_file_, platform::SqliteDatabase::Mode::kReadWriteCreate); }
  EXPECT_EQ(Run({"vacuum"}), 1);
  EXPECT_EQ(err_.str(), "quorvane-store: \"" + store_file_ + "\" is no calendar store\n");
}

TEST_F(StoreMaintenanceTest, VacuumGivesTheSpaceOfDeletedCalendarsBack) {
  {
    CalendarStore store;
    store.AddMailbox("jdoe", "John Doe", kOwner);
    store.AddMailbox("anna", "Anna", kOwner);
    store.Import("jdoe", Calendar(1500), false);
    store.Import("anna", Calendar(5), false);
    ASSERT_TRUE(store.DeleteMailbox("jdoe"));
  }
  std::string before;
  ASSERT_TRUE(platform::ReadWholeFile(store_file_, &before));
  EXPECT_EQ(Run({"vacuum"}), 0) << err_.str();
  std::string after;
  ASSERT_TRUE(platform::ReadWholeFile(store_file_, &after));
  EXPECT_LT(after.size() * 4, before.size());
  EXPECT_THAT(DigitsAsHash(out_.str()), EndsWith("calendar.db: # KB before, # KB after.\n"));
  EXPECT_EQ(out_.str().find('\n'), out_.str().size() - 1);
  EXPECT_EQ(Run({"check"}), 0);
  EXPECT_THAT(out_.str(), EndsWith(": ok; 1 mailboxes, 5 events, 5 appointments.\n"));
}

TEST_F(StoreMaintenanceTest, RegisterPutsItsOwnFileInPlaceOfWhatWasRegistered) {
  ASSERT_TRUE(platform::WriteWholeFile(own_file_, "program"));
  EXPECT_EQ(RegisterStoreProgram("/opt/elsewhere/store", true).outcome,
            StoreProgramRegistration::Outcome::kProgramMissing);
  ASSERT_TRUE(platform::WriteWholeFile(state_dir_.File("old-store"), "old"));
  ASSERT_EQ(RegisterStoreProgram(state_dir_.File("old-store"), true).outcome,
            StoreProgramRegistration::Outcome::kRegistered);

  EXPECT_EQ(Run({"register"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "Registered \"" + own_file_ + "\" as the information store's program.\n");
  EXPECT_EQ(ImagePath(), own_file_);

  own_file_ = state_dir_.File("moved-away");
  EXPECT_EQ(Run({"register"}), 1);
  EXPECT_EQ(err_.str(), "quorvane-store: cannot register \"" + own_file_ + "\": the file is not there\n");
  EXPECT_EQ(ImagePath(), state_dir_.File("quorvane-store"));
}

TEST_F(StoreMaintenanceTest, UsageMistakesExitWithTwo) {
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(err_.str(),
            "quorvane-store: no subcommand given; expected check, vacuum or register (try quorvane-store "
            "--help)\n");
  EXPECT_EQ(Run({"repair"}), 2);
  EXPECT_EQ(err_.str(),
            "quorvane-store: unknown subcommand \"repair\"; expected check, vacuum or register (try "
            "quorvane-store --help)\n");
  EXPECT_EQ(Run({"check", "now"}), 2);
  EXPECT_EQ(err_.str(), "quorvane-store: check takes no arguments (try quorvane-store --help)\n");
  EXPECT_EQ(Run({"vacuum", "--full"}), 2);
  EXPECT_EQ(err_.str(), "quorvane-store: unknown option \"--full\" (try quorvane-store --help)\n");
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("  register  registers this program"));
  EXPECT_EQ(Run({"vacuum", "--help"}), 0);
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out_.str(), std::string("quorvane-store (Quorvane) ") + QV_VERSION_TEXT + "\n");
}

TEST_F(StoreMaintenanceTest, TheToolWarnsWhenTheStoreItMadeHasNoRegisteredProgram) {
  platform::SetEnvironmentVariable(kStoreProgramVariable, state_dir_.File("missing/quorvane-store"));
  EXPECT_EQ(RunTool({"mailbox", "list"}), 0);
  EXPECT_EQ(out_.str(), "No mailboxes.\n");
  EXPECT_EQ(err_.str(), "qvanctl mailbox: warning: created the calendar store, but its program \"" +
                            state_dir_.File("missing/quorvane-store") +
                            "\" is missing, so it is not registered as the information store's program; the "
                            "service will not start (event 125) until \"quorvane-store register\" has run\n");
  // Only the creation warns.
  EXPECT_EQ(RunTool({"mailbox", "list"}), 0);
  EXPECT_THAT(err_.str(), IsEmpty());
  EXPECT_EQ(ImagePath(), std::nullopt);
}

TEST_F(StoreMaintenanceTest, ACommandThatCreatesTheStoreRegistersTheProgramSilently) {
  ASSERT_TRUE(platform::WriteWholeFile(own_file_, "program"));
  platform::SetEnvironmentVariable(kStoreProgramVariable, own_file_);
  EXPECT_EQ(RunTool({"calendar", "export", "jdoe"}), 1);  // creates the store on its way
  EXPECT_EQ(err_.str(), "qvanctl calendar: The mailbox \"jdoe\" does not exist\n");
  EXPECT_EQ(ImagePath(), own_file_);
}

}  // namespace
}  // namespace qv::tools
