// What a CalDAV server's refusals mean to a phone's logon, against the tests' own server: a
// sync-collection refused for a precondition (the report is not offered) walks through the members'
// ETags; only 401, and 403 without a body or for privileges, refuse the password (event 122); a server
// that refuses for a reason of its own, or cannot answer, gives event 120 alone, naming the server and
// the reason. And what the trace tells of each exchange, without the password.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "exchange/caldav_fixture.h"
#include "store/caldav/mirror_refresh.h"

namespace qv::testing {
namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

// A password that the trace would show if any line carried it.
constexpr const char* kTellTalePassword = "Tell-Tale-9731";

class CalDAVAnswersTest : public CalDAVLogonTest {
 protected:
  void SetUp() override {
    CalDAVLogonTest::SetUp();
    ServeCollection(server_, "/cal/", "/cal/a.ics", OneEventCalendar("a", today_ + 1 + 9 / 24.0, "Planning"));
  }

  FakeCalDAVServer server_;
};

TEST_F(CalDAVAnswersTest, ASyncCollectionRefusedForAPreconditionIsWalkedThroughTheETags) {
  server_.On("REPORT", "/cal/", 403, DavError("d:supported-report"), {"sync-collection"});
  Bind(server_.Url("/cal/"));
  EXPECT_THAT(Page("CA", 0, kTellTalePassword), HasSubstr("Planning"));
  EXPECT_THAT(Page("CO", 0, kTellTalePassword), HasSubstr("Planning"));
  EXPECT_TRUE(EventsWithId(122).empty());
  EXPECT_TRUE(EventsWithId(120).empty());
  EXPECT_EQ(StoredSyncToken(), caldav::kNoSyncCollection);
  // The second logon knows the server has no sync-collection and asks for ETags at once.
  EXPECT_EQ(server_.Count("REPORT", "/cal/", {"sync-collection"}), 1u);
  EXPECT_EQ(server_.Count("PROPFIND", "/cal/", {"Depth: 1"}), 2u);

  // calendar-multiget goes without a Depth header.
  const size_t multigets = server_.Count("REPORT", "/cal/", {"calendar-multiget"});
  EXPECT_EQ(multigets, 1u);
  for (const std::string& request : server_.Received()) {
    if (request.find("calendar-multiget") != std::string::npos) {
      EXPECT_THAT(request, Not(HasSubstr("\r\nDepth:")));
    }
  }

  // Each exchange names its path, method, URL, status, bytes and time; no line the password.
  const std::string trace = StopTrace();
  const std::string url = server_.Url("/cal/");
  EXPECT_THAT(trace,
              ContainsRegex("CalDAV sync-collection: REPORT " + url + " 403, [0-9]+ bytes, [0-9]+ ms"));
  EXPECT_THAT(trace, ContainsRegex("CalDAV ETags: PROPFIND " + url + " 207, [0-9]+ bytes, [0-9]+ ms"));
  EXPECT_THAT(trace, ContainsRegex("CalDAV ETags: REPORT " + url + " 207, [0-9]+ bytes, [0-9]+ ms"));
  EXPECT_THAT(trace, Not(HasSubstr(kTellTalePassword)));
}

// How each refusal of sync-collection ends the logon: the events it writes, and whether the
// password was refused.
struct RefusalCase {
  const char* name;
  int status;
  std::string body;
  bool password_refused;
  const char* reason;  // in event 120, when the password was not refused
};

TEST_F(CalDAVAnswersTest, OnlyA401OrA403WithoutBodyOrForPrivilegesRefusesThePassword) {
  const RefusalCase cases[] = {
      {"401", 401, "", true, ""},
      {"403 without a body", 403, "", true, ""},
      {"403 need-privileges", 403, DavError("d:need-privileges"), true, ""},
      {"403 in words", 403, "Access to the requested resource forbidden.", false,
       "sync-collection answered with the status 403 (Access to the requested resource forbidden.)"},
      {"500", 500, "", false, "sync-collection answered with the status 500"},
  };
  Bind(server_.Url("/cal/"));
  for (const RefusalCase& refusal : cases) {
    SCOPED_TRACE(refusal.name);
    server_.On("REPORT", "/cal/", refusal.status, refusal.body, {"sync-collection"});
    const size_t refused = EventsWithId(122).size();
    const size_t unavailable = EventsWithId(120).size();
    EXPECT_EQ(Page("CA", 0), ErrorCardResponse());
    EXPECT_EQ(EventsWithId(122).size(), refused + (refusal.password_refused ? 1 : 0));
    const auto events = EventsWithId(120);
    ASSERT_EQ(events.size(), unavailable + (refusal.password_refused ? 0 : 1));
    if (!refusal.password_refused) {
      EXPECT_THAT(events.back().Strings[0], ::testing::StartsWith("The CalDAV server " + server_.Server() +
                                                                  ": " + refusal.reason + " ["));
    }
  }
}

TEST_F(CalDAVAnswersTest, AtLevelTwoTheTraceKeepsTheFailedExchangesOnly) {
  StartTrace(2);
  server_.On("REPORT", "/cal/", 403, DavError("d:supported-report"), {"sync-collection"});
  Bind(server_.Url("/cal/"));
  EXPECT_THAT(Page("CA", 0), HasSubstr("Planning"));
  const uint16_t closed = FreeLoopbackPort();
  ASSERT_TRUE(store_->DeleteMailbox("jdoe"));
  Bind("http://127.0.0.1:" + std::to_string(closed) + "/cal/");
  EXPECT_EQ(Page("CA", 0), ErrorCardResponse());
  const std::string trace = StopTrace();
  EXPECT_THAT(trace, HasSubstr("CalDAV sync-collection: REPORT " + server_.Url("/cal/") + " 403, "));
  EXPECT_THAT(trace, Not(HasSubstr("CalDAV ETags: PROPFIND")));
  EXPECT_THAT(trace, ContainsRegex("CalDAV [a-z-]+: [A-Z]+ http://127.0.0.1:" + std::to_string(closed) +
                                   "/cal/ failed: http://127.0.0.1:" + std::to_string(closed) + ": "));
}

TEST_F(CalDAVAnswersTest, ACollectionFoundAtTheServersAddressAndGoneIsLookedForAgain) {
  // The root names the principal /p/, whose home /home/ holds /home/a/ and later /home/b/ instead.
  server_.On("PROPFIND", "/", 207,
             DavMultistatus(DavResponse("/",
                                        "<d:current-user-principal><d:href>/p/</d:href>"
                                        "</d:current-user-principal>")));
  server_.On("PROPFIND", "/p/", 207,
             DavMultistatus(
                 DavResponse("/p/", "<c:calendar-home-set><d:href>/home/</d:href></c:calendar-home-set>")));
  const auto home = [this](const std::string& calendar) {
    server_.On("PROPFIND", "/home/", 207,
               DavMultistatus(DavResponse("/home/", "<d:resourcetype><d:collection/></d:resourcetype>") +
                              DavResponse(calendar, CalendarProperties("Mine"))),
               {"Depth: 1"});
  };
  home("/home/a/");
  ServeCollection(server_, "/home/a/", "/home/a/1.ics",
                  OneEventCalendar("1", today_ + 1 + 9 / 24.0, "First"));
  server_.On("REPORT", "/home/a/", 403, DavError("d:supported-report"), {"sync-collection"});
  Bind(server_.Url("/"));
  EXPECT_THAT(Page("CA", 0), HasSubstr("First"));
  EXPECT_EQ(store_->FindMailbox("jdoe")->caldav->collection, server_.Url("/home/a/"));

  home("/home/b/");
  server_.On("PROPFIND", "/home/a/", 404, "");
  ServeCollection(server_, "/home/b/", "/home/b/2.ics",
                  OneEventCalendar("2", today_ + 1 + 10 / 24.0, "Second"));
  server_.On("REPORT", "/home/b/", 403, DavError("d:supported-report"), {"sync-collection"});
  const std::string page = Page("CA", 0);
  EXPECT_THAT(page, HasSubstr("Second"));
  EXPECT_THAT(page, Not(HasSubstr("First")));
  EXPECT_EQ(store_->FindMailbox("jdoe")->caldav->collection, server_.Url("/home/b/"));
  EXPECT_TRUE(EventsWithId(120).empty());

  // A collection the binding names itself is not looked for elsewhere: the administrator is told.
  ASSERT_TRUE(store_->DeleteMailbox("jdoe"));
  Bind(server_.Url("/home/a/"));
  EXPECT_EQ(Page("CA", 0), ErrorCardResponse());
  const auto events = EventsWithId(120);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_THAT(events[0].Strings[0], HasSubstr("answered with the status 404"));
}

}  // namespace
}  // namespace qv::testing
