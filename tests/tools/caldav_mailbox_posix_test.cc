// The tool's commands on mailboxes bound to CalDAV collections that need the CalDAV client (Linux):
// plain http to another machine refused at binding unless allowed; calendar export read from the
// server as the bound user, with the password from standard input, against a real Radicale; a refused
// password or a server that is down fail in one line and leave the output empty.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "store/calendar_store.h"
#include "testing/caldav_server.h"
#include "testing/test_state_dir.h"
#include "tools/tool_command_fixture.h"

namespace qv::tools {
namespace {

using testing::CalDAVServer;
using testing::CalDAVServerKind;
using testing::ClientCalendar;
using ::testing::HasSubstr;

const std::string kEvent =
    "BEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:20300301T090000\r\nSUMMARY:On the "
    "server\r\n"
    "END:VEVENT\r\n";

class CalDAVExportTest : public ToolCommandTest {
 protected:
  qv::testing::TestStateDir state_dir_;
};

TEST_F(CalDAVExportTest, PlainHttpToAnotherMachineIsBoundOnlyWhenAllowed) {
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--caldav", "http://dav.example.org/jdoe/"}), 1);
  ExpectOneLineError("mailbox",
                     "cannot add \"jdoe\": http://dav.example.org:80: plain http goes only to this "
                     "machine unless the mailbox allows it (--allow-http)");
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--caldav", "http://dav.example.org/jdoe/", "--allow-http"}),
            0)
      << err_.str();
  EXPECT_EQ(RunTool({"mailbox", "add", "ann", "--caldav", "http://localhost:5232/ann/"}), 0) << err_.str();
}

TEST_F(CalDAVExportTest, ExportReadsTheBoundMailboxFromItsServer) {
  const CalDAVServer server(CalDAVServerKind::kRadicale);
  server.Put("a", ClientCalendar::Wrap(kEvent));
  ASSERT_EQ(RunTool({"mailbox", "add", "jdoe", "--caldav", server.CollectionUrl()}), 0) << err_.str();
  EXPECT_EQ(RunTool({"calendar", "export", "jdoe", "--password-stdin"},
                    std::string(testing::kCalDAVPassword) + "\n"),
            0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("\r\nSUMMARY:On the server\r\n"));
  EXPECT_THAT(out_.str(), ::testing::StartsWith("BEGIN:VCALENDAR\r\n"));

  EXPECT_EQ(RunTool({"calendar", "export", "jdoe", "--password-stdin"}, "wrong\n"), 1);
  ExpectOneLineError("calendar", "cannot export \"jdoe\": the CalDAV server refused the password of jdoe");
  EXPECT_EQ(RunTool({"calendar", "export", "jdoe", "--password-stdin"}), 1);
  ExpectOneLineError("calendar", "no password on standard input");
  // A mailbox of the store has no server to give a password to.
  CalendarStore().AddMailbox("local", "Local",
                             std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12));
  EXPECT_EQ(RunTool({"calendar", "export", "local", "--password-stdin"}, "x\n"), 2);
}

TEST_F(CalDAVExportTest, AServerThatIsDownFailsTheExportInOneLine) {
  const uint16_t closed = testing::FreeLoopbackPort();
  const std::string url = "http://127.0.0.1:" + std::to_string(closed) + "/jdoe/calendar/";
  ASSERT_EQ(RunTool({"mailbox", "add", "jdoe", "--caldav", url}), 0) << err_.str();
  EXPECT_EQ(RunTool({"calendar", "export", "jdoe", "--password-stdin"}, "secret\n"), 1);
  ExpectOneLineError("calendar", "cannot export \"jdoe\": the CalDAV server http://127.0.0.1:" +
                                     std::to_string(closed) + ": ");
}

}  // namespace
}  // namespace qv::tools
