#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "store/calendar_store.h"
#include "testing/test_state_dir.h"
#include "tools/tool_command_fixture.h"

namespace qv::tools {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const platform::Sid kOwner = std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);

std::string Event(const std::string& uid, const std::string& start, const std::string& extra = "") {
  return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART:" + start + "\r\n" + extra + "END:VEVENT\r\n";
}

std::string Calendar(const std::string& body) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Test//EN\r\n" + body + "END:VCALENDAR\r\n";
}

class CalendarCommandTest : public ToolCommandTest {
 protected:
  void SetUp() override { CalendarStore().AddMailbox("jdoe", "John Doe", kOwner); }

  qv::testing::TestStateDir state_dir_;
};

TEST_F(CalendarCommandTest, ImportsAFileAndReportsWhatItSkipped) {
  const std::string file = state_dir_.File("work.ics");
  ASSERT_TRUE(
      platform::WriteWholeFile(file, Calendar(Event("a", "20240301T090000", "RRULE:FREQ=DAILY;COUNT=3\r\n") +
                                              Event("b", "20240301T100000", "STATUS:CANCELLED\r\n") +
                                              "BEGIN:VTODO\r\nUID:t\r\nEND:VTODO\r\n")));
  EXPECT_EQ(RunTool({"calendar", "import", "jdoe", file}), 0) << err_.str();
  EXPECT_THAT(out_.str(),
              StartsWith("Imported 1 event (3 appointments) into mailbox \"jdoe\"; recurring events "
                         "are stored up to "));
  EXPECT_THAT(out_.str(), HasSubstr("\nSkipped line 9 (UID b): cancelled\n"));
  EXPECT_THAT(out_.str(), HasSubstr("\nLeft out 1 VTODO component: only events are imported.\n"));
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CalendarCommandTest, ImportsStandardInputAndExportsWhatItStored) {
  const std::string calendar = Calendar(Event("a", "20240301T090000", "SUMMARY:Caf\xC3\xA9\r\n"));
  EXPECT_EQ(RunTool({"calendar", "import", "jdoe", "-"}, calendar), 0) << err_.str();
  EXPECT_EQ(RunTool({"calendar", "import", "jdoe", "-", "--replace"}, calendar), 0) << err_.str();
  // Nothing recurs: no word of how far recurring events are stored.
  EXPECT_EQ(out_.str(), "Imported 1 event (1 appointment) into mailbox \"jdoe\".\n");
  EXPECT_EQ(RunTool({"calendar", "export", "jdoe"}), 0);
  EXPECT_THAT(out_.str(),
              HasSubstr("BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240301T090000\r\nSUMMARY:Caf\xC3\xA9\r\n"));
  const std::string exported = out_.str();
  EXPECT_EQ(RunTool({"calendar", "export", "jdoe", state_dir_.File("out.ics")}), 0);
  std::string written;
  ASSERT_TRUE(platform::ReadWholeFile(state_dir_.File("out.ics"), &written));
  EXPECT_EQ(written, exported);
}

TEST_F(CalendarCommandTest, ListShowsTheAppointmentsAPhoneSeesWithTheirPositions) {
  ASSERT_EQ(
      RunTool({"calendar", "import", "jdoe", "-"},
              Calendar(Event("m", "20300107T090000",
                             "DTEND:20300107T100000\r\nSUMMARY:Meeting\r\n"
                             "LOCATION:Room 1\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n") +
                       "BEGIN:VEVENT\r\nUID:t\r\nDTSTART;VALUE=DATE:20300108\r\nDTEND;VALUE=DATE:20300110\r\n"
                       "SUMMARY:Trip\r\nEND:VEVENT\r\n" +
                       Event("n", "20300109T230000", "DTEND:20300110T010000\r\nSUMMARY:Night\r\n"))),
      0)
      << err_.str();
  ASSERT_EQ(RunTool({"calendar", "list", "jdoe", "--from", "2030-01-07", "--days", "8"}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "   0  2030-01-07 09:00-10:00  Meeting (Room 1)\n"
            "   1  2030-01-08 to 2030-01-09 all day  Trip\n"
            "   2  2030-01-09 23:00 to 2030-01-10 01:00  Night\n"
            "   3  2030-01-14 09:00-10:00  Meeting (Room 1)\n");
  // What ends after the first day's start counts; what starts after the last day does not.
  ASSERT_EQ(RunTool({"calendar", "list", "jdoe", "--from", "2030-01-10", "--days", "1"}), 0);
  EXPECT_EQ(out_.str(), "   0  2030-01-09 23:00 to 2030-01-10 01:00  Night\n");
  ASSERT_EQ(RunTool({"calendar", "list", "jdoe", "--from", "2031-01-01"}), 0);
  EXPECT_EQ(out_.str(), "No appointments from 2031-01-01 for 365 days.\n");

  EXPECT_EQ(RunTool({"calendar", "list", "jdoe", "--from", "2030-02-30"}), 2);
  EXPECT_EQ(RunTool({"calendar", "list", "jdoe", "--days", "0"}), 2);
  EXPECT_EQ(RunTool({"calendar", "list", "jdoe", "--days", "3654"}), 2);
  EXPECT_EQ(RunTool({"calendar", "list", "nobody"}), 1);
  EXPECT_EQ(err_.str(), "qvanctl calendar: there is no mailbox named \"nobody\"\n");
}

TEST_F(CalendarCommandTest, FailuresAreOneLineWithANonZeroExitCode) {
  EXPECT_EQ(RunTool({"calendar", "import", "jdoe", "-"},
                    Calendar("BEGIN:VEVENT\r\nDTSTART:tomorrow\r\nEND:VEVENT\r\n")),
            1);
  EXPECT_EQ(err_.str(),
            "qvanctl calendar: cannot import standard input: line 5: DTSTART \"tomorrow\" is not a date or a "
            "date-time\n");
  EXPECT_EQ(RunTool({"calendar", "import", "nobody", "-"}, Calendar("")), 1);
  EXPECT_EQ(err_.str(), "qvanctl calendar: The mailbox \"nobody\" does not exist\n");
  // The file named, in the system's words.
  EXPECT_EQ(RunTool({"calendar", "import", "jdoe", state_dir_.File("missing.ics")}), 1);
  EXPECT_EQ(err_.str(), "qvanctl calendar: cannot read \"" + state_dir_.File("missing.ics") +
                            "\": " + platform::SystemErrorText(platform::ERROR_FILE_NOT_FOUND) + "\n");
  EXPECT_EQ(RunTool({"calendar", "import", "jdoe", state_dir_.Path()}), 1);
  EXPECT_EQ(err_.str(), "qvanctl calendar: cannot read \"" + state_dir_.Path() + "\": it is a folder\n");
  EXPECT_EQ(RunTool({"calendar", "export", "nobody"}), 1);
  // A mailbox bound to a CalDAV collection shows the server's calendar: nothing to import into.
  CalendarStore().AddCalDAVMailbox("anna", "Anna", {"https://cal.example.org/anna/", "anna", false});
  EXPECT_EQ(RunTool({"calendar", "import", "anna", "-"}, Calendar(Event("a", "20240301T090000"))), 1);
  EXPECT_EQ(err_.str(),
            "qvanctl calendar: The mailbox \"anna\" shows the calendar of the CalDAV collection "
            "https://cal.example.org/anna/: change it there, not by an import\n");
  EXPECT_EQ(CalendarStore().ListMailboxes().front().events, 0);  // anna, before jdoe
  EXPECT_EQ(RunTool({"calendar", "import", "jdoe"}), 2);
  EXPECT_EQ(err_.str(),
            "qvanctl calendar: import takes a mailbox and a file (try qvanctl calendar --help)\n");
  EXPECT_EQ(RunTool({"calendar", "export", "jdoe", "--replace"}), 2);
  EXPECT_EQ(RunTool({"calendar", "sync", "jdoe"}), 2);
  EXPECT_EQ(RunTool({"calendar"}), 2);
  EXPECT_EQ(RunTool({"calendar", "--help"}), 0);
  EXPECT_THAT(out_.str(), StartsWith("Usage: qvanctl calendar import MAILBOX FILE|- [--replace]\n"));
}

TEST_F(CalendarCommandTest, LargeImportsShowTheirProgress) {
  std::string body;
  for (int i = 0; i < 12000; ++i) body += Event("e" + std::to_string(i), "20240301T090000");
  EXPECT_EQ(RunTool({"calendar", "import", "jdoe", "-"}, Calendar(body)), 0);
  EXPECT_EQ(err_.str(),
            "qvanctl calendar: 5000 of 12000 events stored\n"
            "qvanctl calendar: 10000 of 12000 events stored\n"
            "qvanctl calendar: 12000 of 12000 events stored\n");
}

}  // namespace
}  // namespace qv::tools
