// The tool's commands that find what a CalDAV address offers (Linux, against a real Radicale):
// qvanctl caldav calendars from the server's root, the default marked; mailbox add --discover, which
// keeps the collection found (by name or the default) and lists it; a refused password, a name no
// calendar has and options that go with others fail in one line and bind nothing.
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
using ::testing::HasSubstr;

const std::string kPassword = std::string(testing::kCalDAVPassword) + "\n";

class CalDAVCommandTest : public ToolCommandTest {
 protected:
  qv::testing::TestStateDir state_dir_;
};

TEST_F(CalDAVCommandTest, CalendarsListsWhatTheServersRootOffersTheUser) {
  const CalDAVServer server(CalDAVServerKind::kRadicale);
  // A calendar of tasks, which sorts first.
  ASSERT_EQ(
      server
          .Send("MKCALENDAR", "/jdoe/a-tasks/",
                "<C:mkcalendar xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><D:set><D:prop>"
                "<C:supported-calendar-component-set><C:comp name=\"VTODO\"/>"
                "</C:supported-calendar-component-set></D:prop></D:set></C:mkcalendar>")
          .status,
      201);
  EXPECT_EQ(
      RunTool({"caldav", "calendars", server.Url("/"), "--user", "jdoe", "--password-stdin"}, kPassword), 0)
      << err_.str();
  // Radicale names no default: the first that takes events is marked.
  EXPECT_EQ(out_.str(), "The calendar home " + server.Url("/jdoe/") + " holds 2 calendars:\n  " +
                            server.Url("/jdoe/a-tasks/") + "  \"jdoe/a-tasks\"  VTODO\n* " +
                            server.CollectionUrl() + "  \"jdoe/calendar\"  VTODO VEVENT VJOURNAL\n");
  EXPECT_EQ(RunTool({"caldav", "calendars", server.CollectionUrl(), "--user", "jdoe", "--password-stdin"},
                    kPassword),
            0);
  EXPECT_THAT(out_.str(), ::testing::StartsWith(server.CollectionUrl() + " is a calendar collection:\n* "));

  EXPECT_EQ(
      RunTool({"caldav", "calendars", server.Url("/"), "--user", "jdoe", "--password-stdin"}, "wrong\n"), 1);
  ExpectOneLineError("caldav", "cannot list the calendars of " + server.Url("/") +
                                   ": the server refused the password of jdoe");
  EXPECT_EQ(RunTool({"caldav", "calendars", server.Url("/")}), 1);
  ExpectOneLineError("caldav", "the server needs a user (--user NAME)");
  EXPECT_EQ(RunTool({"caldav", "calendars", server.Url("/"), "--password-stdin"}, kPassword), 2);
}

TEST_F(CalDAVCommandTest, MailboxAddDiscoverKeepsTheCollectionFound) {
  const CalDAVServer server(CalDAVServerKind::kRadicale);
  ASSERT_EQ(server.Send("MKCALENDAR", "/jdoe/work/", "").status, 201);
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--caldav", server.Url("/"), "--discover", "--password-stdin"},
                    kPassword),
            0)
      << err_.str();
  EXPECT_EQ(out_.str(), "Added mailbox \"jdoe\" (jdoe), bound to the CalDAV address " + server.Url("/") +
                            " as jdoe, collection " + server.CollectionUrl() + ".\n");
  EXPECT_EQ(RunTool({"mailbox", "add", "w", "--caldav", server.Url("/"), "--caldav-user", "jdoe",
                     "--calendar", "work", "--discover", "--password-stdin"},
                    kPassword),
            0)
      << err_.str();
  EXPECT_EQ(CalendarStore().FindMailbox("w")->caldav->collection, server.Url("/jdoe/work/"));
  EXPECT_EQ(RunTool({"mailbox", "list"}), 0);
  EXPECT_THAT(out_.str(),
              HasSubstr(" as jdoe, calendar \"work\", collection " + server.Url("/jdoe/work/") + "\n"));

  EXPECT_EQ(RunTool({"mailbox", "add", "x", "--caldav", server.Url("/"), "--caldav-user", "jdoe",
                     "--calendar", "holidays", "--discover", "--password-stdin"},
                    kPassword),
            1);
  ExpectOneLineError("mailbox",
                     "cannot add \"x\": the CalDAV server " + server.Url("") +
                         ": the calendar home /jdoe holds no calendar named \"holidays\" (there are "
                         "\"jdoe/calendar\", \"jdoe/work\")");
  EXPECT_EQ(RunTool({"mailbox", "add", "x", "--caldav", server.Url("/"), "--caldav-user", "jdoe",
                     "--discover", "--password-stdin"},
                    "wrong\n"),
            1);
  ExpectOneLineError("mailbox", "cannot add \"x\": the CalDAV server refused the password of jdoe");
  EXPECT_EQ(RunTool({"mailbox", "add", "x", "--caldav", server.Url("/"), "--password-stdin"}, kPassword), 2);
  EXPECT_FALSE(CalendarStore().FindMailbox("x"));
}

}  // namespace
}  // namespace qv::tools
