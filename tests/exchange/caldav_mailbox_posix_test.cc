// Mailboxes bound to CalDAV collections, through the request handler as a phone meets them, against
// real servers (Radicale and Xandikos, started per test) and stand-ins: the same pages as the same
// calendar imported (recurrence with an exception and a moved instance, a zone the calendar defines,
// all-day events); changes on the server on the next page, also through ETags alone and after the
// server forgot the sync token; the server's word on the password; the error card within the
// time-outs from a server that is down or never answers; a malformed member left out with a trace
// line; no request at all within CalDAVRefreshSeconds of a cached logon, and one refresh for many
// requests at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "e2e/service_decks.h"
#include "exchange/logon_cache.h"
#include "exchange/logon_throttle.h"
#include "exchange/pages_fixture.h"
#include "platform/clock/clock.h"
#include "store/caldav/mirror_refresh.h"
#include "testing/caldav_server.h"
#include "testing/stand_in_origin.h"

namespace qv::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kErrorCard =
    "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n" + ServiceDeck(kErrorCardBody);

// A zone of the calendar's own name, so that only its definition can say what it is.
const char* const kEasternZone =
    "BEGIN:VTIMEZONE\r\nTZID:Example/Eastern\r\n"
    "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\nTZNAME:EDT\r\nDTSTART:19700308T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nEND:DAYLIGHT\r\n"
    "BEGIN:STANDARD\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nTZNAME:EST\r\nDTSTART:19701101T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";

std::string VEvent(const std::string& uid, const std::string& lines) {
  return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20240101T000000Z\r\n" + lines + "END:VEVENT\r\n";
}

std::string At(TDateTime day, const std::string& time) {
  return IcalDate(day) + "T" + time;
}

// No two appointments start at the same time: the store orders equal starts by their writing.
ClientCalendar TestCalendar(TDateTime today) {
  ClientCalendar calendar;
  calendar.time_zones = kEasternZone;
  calendar.events = {
      {"dentist",
       VEvent("dentist", "DTSTART:" + At(today + 2, "090000") + "\r\nDTEND:" + At(today + 2, "100000") +
                             "\r\nSUMMARY:Dentist\r\nLOCATION:Main St. 4\r\nDESCRIPTION:Bring the card\r\n")},
      {"jour-fixe",
       VEvent("jour-fixe", "DTSTART:" + At(today + 3, "140000") + "\r\nDTEND:" + At(today + 3, "150000") +
                               "\r\nRRULE:FREQ=WEEKLY\r\nEXDATE:" + At(today + 10, "140000") +
                               "\r\nSUMMARY:Jour fixe\r\n") +
           VEvent("jour-fixe",
                  "RECURRENCE-ID:" + At(today + 17, "140000") + "\r\nDTSTART:" + At(today + 17, "163000") +
                      "\r\nDTEND:" + At(today + 17, "173000") + "\r\nSUMMARY:Jour fixe (moved)\r\n")},
      {"call", VEvent("call", "DTSTART;TZID=Example/Eastern:" + At(today + 5, "090000") +
                                  "\r\nDTEND;TZID=Example/Eastern:" + At(today + 5, "100000") +
                                  "\r\nSUMMARY:Call with New York\r\n")},
      {"holiday", VEvent("holiday", "DTSTART;VALUE=DATE:" + IcalDate(today + 4) + "\r\nDTEND;VALUE=DATE:" +
                                        IcalDate(today + 5) + "\r\nSUMMARY:Holiday\r\n")},
      {"trip", VEvent("trip", "DTSTART;VALUE=DATE:" + IcalDate(today + 20) +
                                  "\r\nDTEND;VALUE=DATE:" + IcalDate(today + 23) + "\r\nSUMMARY:Trip\r\n")},
  };
  return calendar;
}

class CalDAVMailboxTest : public PagesTest {
 protected:
  void SetUp() override {
    PagesTest::SetUp();
    Configure(0, 2000, 10000);
  }

  void Configure(uint32_t refresh_seconds, uint32_t connect_ms, uint32_t read_ms) {
    ProcessObjectsFixture::Set({"CalDAVRefreshSeconds", refresh_seconds});
    ProcessObjectsFixture::Set({"CalDAVConnectTimeOut", connect_ms});
    ProcessObjectsFixture::Set({"CalDAVReadTimeOut", read_ms});
    objects_->Restart();
  }

  // Bound to the collection as found already, as the stand-ins answer no discovery.
  void Bind(const std::string& url) {
    CalDAVBinding binding{url, kCalDAVUser, false};
    binding.collection = url;
    store_->AddCalDAVMailbox("jdoe", "John Doe", binding);
  }

  static std::string Page(const std::string& kind, int position,
                          const std::string& password = kCalDAVPassword) {
    return Respond("jdoe", password, kind, std::to_string(position));
  }

  // The list pages and the single appointments at positions across the window.
  static std::vector<std::string> Pages() {
    std::vector<std::string> pages;
    for (const int position : {0, 1, 2, 3, 4, 5, 6, 9, 17, 30, 54, 55, 56})
      for (const char* kind : {"CA", "CO"}) pages.push_back(Page(kind, position));
    return pages;
  }
};

class CalDAVServersTest : public CalDAVMailboxTest, public ::testing::WithParamInterface<CalDAVServerKind> {};

TEST_P(CalDAVServersTest, AMirroredCalendarGivesThePagesOfTheSameCalendarImported) {
  const ClientCalendar calendar = TestCalendar(today_);
  store_->AddMailbox("jdoe", "John Doe", AddAccount("jdoe", kCalDAVPassword));
  store_->Import("jdoe", calendar.File(), false);
  const std::vector<std::string> imported = Pages();
  const std::string all = [&] {
    std::string text;
    for (const std::string& page : imported) text += page;
    return text;
  }();
  for (const char* subject :
       {"Dentist", "Jour fixe (moved)", "Call with New York", "Holiday", "Trip", "Bring the card"})
    EXPECT_THAT(all, HasSubstr(subject));
  EXPECT_THAT(all, Not(HasSubstr("Could not logon you")));

  ASSERT_TRUE(store_->DeleteMailbox("jdoe"));
  const CalDAVServer server(GetParam());
  server.UploadFile(calendar.File());
  Bind(server.CollectionUrl());
  const std::vector<std::string> mirrored = Pages();
  ASSERT_EQ(mirrored.size(), imported.size());
  for (size_t i = 0; i < imported.size(); ++i) EXPECT_EQ(mirrored[i], imported[i]) << "page " << i;
}

TEST_P(CalDAVServersTest, AnEventAddedChangedOrDeletedOnTheServerShowsOnTheNextPage) {
  const CalDAVServer server(GetParam());
  server.Put("a", ClientCalendar::Wrap(
                      VEvent("a", "DTSTART:" + At(today_ + 1, "090000") + "\r\nSUMMARY:Planning\r\n")));
  Bind(server.CollectionUrl());
  EXPECT_THAT(Page("CA", 0), HasSubstr("Planning"));

  server.Put("b", ClientCalendar::Wrap(
                      VEvent("b", "DTSTART:" + At(today_ + 2, "090000") + "\r\nSUMMARY:Review\r\n")));
  EXPECT_THAT(Page("CA", 0), HasSubstr("Review"));
  server.Put("a", ClientCalendar::Wrap(
                      VEvent("a", "DTSTART:" + At(today_ + 3, "110000") + "\r\nSUMMARY:Replanned\r\n")));
  std::string page = Page("CA", 0);
  EXPECT_THAT(page, HasSubstr("Replanned"));
  EXPECT_THAT(page, Not(HasSubstr("Planning")));
  EXPECT_THAT(Page("CO", 1), HasSubstr("Replanned"));  // now after Review
  server.Delete("b");
  page = Page("CA", 0);
  EXPECT_THAT(page, Not(HasSubstr("Review")));
  EXPECT_THAT(page, HasSubstr("Replanned"));
}

INSTANTIATE_TEST_SUITE_P(RealServers, CalDAVServersTest,
                         ::testing::Values(CalDAVServerKind::kRadicale, CalDAVServerKind::kXandikos),
                         [](const auto& server) { return ServerName(server.param); });

TEST_F(CalDAVMailboxTest, TheServerDecidesThePasswordAWrongOneGivesTheErrorCardAndEvent122) {
  const CalDAVServer server(CalDAVServerKind::kRadicale);
  server.Put("a", ClientCalendar::Wrap(
                      VEvent("a", "DTSTART:" + At(today_ + 1, "090000") + "\r\nSUMMARY:Planning\r\n")));
  Bind(server.CollectionUrl());
  EXPECT_EQ(Page("CA", 0, "wrong"), kErrorCard);
  const auto events = EventsWithId(122);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Strings, (std::vector<std::string>{"", "jdoe"}));
  EXPECT_TRUE(EventsWithId(120).empty());
  EXPECT_THAT(Page("CA", 0), HasSubstr("Planning"));
  // What a refused logon brought is nothing: the mirror stays as the right password left it.
  EXPECT_EQ(Page("CA", 0, "wrong"), kErrorCard);
  EXPECT_EQ(EventsWithId(122).size(), 2u);
}

TEST_F(CalDAVMailboxTest, AServerWithoutSyncCollectionIsComparedByEtags) {
  const CalDAVServer server(CalDAVServerKind::kRadicale);
  server.Put("a", ClientCalendar::Wrap(
                      VEvent("a", "DTSTART:" + At(today_ + 1, "090000") + "\r\nSUMMARY:Planning\r\n")));
  Bind(server.CollectionUrl());
  store_->Database()
      .Prepare("UPDATE mailboxes SET caldav_sync_token = ?1")
      .Bind(1, std::string(caldav::kNoSyncCollection))
      .Run();
  EXPECT_THAT(Page("CA", 0), HasSubstr("Planning"));
  server.Put("a", ClientCalendar::Wrap(
                      VEvent("a", "DTSTART:" + At(today_ + 1, "090000") + "\r\nSUMMARY:Moved\r\n")));
  server.Put("b", ClientCalendar::Wrap(
                      VEvent("b", "DTSTART:" + At(today_ + 2, "090000") + "\r\nSUMMARY:Review\r\n")));
  std::string page = Page("CA", 0);
  EXPECT_THAT(page, HasSubstr("Moved"));
  EXPECT_THAT(page, HasSubstr("Review"));
  server.Delete("a");
  page = Page("CA", 0);
  EXPECT_THAT(page, Not(HasSubstr("Moved")));
  EXPECT_THAT(page, HasSubstr("Review"));
  auto token = store_->Database().Prepare("SELECT caldav_sync_token FROM mailboxes");
  ASSERT_TRUE(token.Step());
  EXPECT_EQ(token.ColumnText(0), caldav::kNoSyncCollection);
}

TEST_F(CalDAVMailboxTest, ATokenTheServerNoLongerKnowsStartsTheMirrorAfresh) {
  const CalDAVServer server(CalDAVServerKind::kRadicale);
  server.Put("a", ClientCalendar::Wrap(
                      VEvent("a", "DTSTART:" + At(today_ + 1, "090000") + "\r\nSUMMARY:Planning\r\n")));
  server.Put("b", ClientCalendar::Wrap(
                      VEvent("b", "DTSTART:" + At(today_ + 2, "090000") + "\r\nSUMMARY:Review\r\n")));
  Bind(server.CollectionUrl());
  EXPECT_THAT(Page("CA", 0), HasSubstr("Planning"));
  server.Delete("a");
  store_->Database().Exec("UPDATE mailboxes SET caldav_sync_token = 'http://radicale.org/ns/sync/forgotten'");
  const std::string page = Page("CA", 0);
  EXPECT_THAT(page, Not(HasSubstr("Planning")));  // gone, though no change since a token told it
  EXPECT_THAT(page, HasSubstr("Review"));
  auto token = store_->Database().Prepare("SELECT caldav_sync_token FROM mailboxes");
  ASSERT_TRUE(token.Step());
  EXPECT_THAT(token.ColumnText(0), ::testing::StartsWith("http://radicale.org/ns/sync/"));
  EXPECT_NE(token.ColumnText(0), "http://radicale.org/ns/sync/forgotten");
}

TEST_F(CalDAVMailboxTest, AServerThatIsDownOrNeverAnswersGivesTheErrorCardWithinTheTimeOut) {
  Configure(0, 500, 1000);
  // A server that cannot answer says nothing of the password: the mailbox's checks are not spaced out.
  TLogonThrottle throttle(1, 60000, 60000);
  const ProcessWide<TLogonThrottle>::Installation throttled(LogonThrottle, throttle);
  const uint16_t closed = FreeLoopbackPort();
  Bind("http://127.0.0.1:" + std::to_string(closed) + "/jdoe/calendar/");
  EXPECT_EQ(Page("CA", 0), kErrorCard);
  ASSERT_TRUE(store_->DeleteMailbox("jdoe"));

  platform::TcpSocket silent;  // the connection stands; nothing is ever read or answered
  ASSERT_TRUE(silent.Listen("127.0.0.1", 0, 8));
  Bind("http://127.0.0.1:" + std::to_string(silent.LocalPort()) + "/jdoe/calendar/");
  const uint32_t begun = platform::GetTickCount();
  EXPECT_EQ(Page("CA", 0), kErrorCard);
  EXPECT_LT(platform::GetTickCount() - begun, 4000u);

  const auto events = EventsWithId(120);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_THAT(events[0].Strings[0],
              HasSubstr("The CalDAV server http://127.0.0.1:" + std::to_string(closed) + ": "));
  EXPECT_THAT(events[1].Strings[0],
              HasSubstr("The CalDAV server http://127.0.0.1:" + std::to_string(silent.LocalPort()) + ": "));
  EXPECT_THAT(events[1].Strings[0], HasSubstr("imed out"));
  // The password was not refused: no event 122.
  EXPECT_TRUE(EventsWithId(122).empty());
}

// A stand-in that answers every request with the same multistatus: the sync-collection lists three
// members, two with their calendar data, and the multiget that follows gets that data again.
std::string CannedMultistatus(TDateTime today) {
  const std::string body =
      "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
      "<d:response><d:href>/c/good.ics</d:href><d:propstat><d:prop><d:getetag>\"1\"</"
      "d:getetag><c:calendar-data>" +
      ClientCalendar::Wrap(VEvent("good", "DTSTART:" + At(today + 1, "090000") + "\r\nSUMMARY:Fine\r\n")) +
      "</c:calendar-data></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"
      "<d:response><d:href>/c/bad.ics</d:href><d:propstat><d:prop><d:getetag>\"2\"</"
      "d:getetag><c:calendar-data>" +
      ClientCalendar::Wrap(VEvent("bad", "DTSTART:tomorrow\r\nSUMMARY:Broken\r\n")) +
      "</c:calendar-data></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"
      "<d:response><d:propstat><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"
      // Listed, but its data never comes.
      "<d:response><d:href>/c/absent.ics</d:href><d:propstat><d:prop><d:getetag>\"3\"</d:getetag></d:prop>"
      "<d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"
      "<d:sync-token>t1</d:sync-token></d:multistatus>";
  return "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(CalDAVMailboxTest, AMalformedMemberIsLeftOutWithATraceLine) {
  StandInOrigin origin(CannedMultistatus(today_));
  Bind(origin.Url("/c/"));
  const std::string page = Page("CA", 0);
  EXPECT_THAT(page, HasSubstr("Fine"));
  EXPECT_THAT(page, Not(HasSubstr("Broken")));
  // The member whose data did not come is asked for again: the sync token is not taken.
  auto token = store_->Database().Prepare("SELECT caldav_sync_token FROM mailboxes");
  ASSERT_TRUE(token.Step());
  EXPECT_TRUE(token.IsNull(0));
  token.Reset();
  const std::string trace = StopTrace();
  EXPECT_THAT(trace, HasSubstr("CalDAV " + origin.Url("/c/") + ": left out /c/bad.ics: line 7: "));
  EXPECT_THAT(trace, ::testing::ContainsRegex(": left out line [0-9]+: a response without an href\r\n"));
}

TEST_F(CalDAVMailboxTest, ACachedLogonAsksTheServerNothingWithinTheRefreshTime) {
  Configure(10, 2000, 10000);
  TLogonCache cache(300);
  const ProcessWide<TLogonCache>::Installation installed(LogonCache, cache);
  StandInOrigin origin(CannedMultistatus(today_));
  Bind(origin.Url("/c/"));
  EXPECT_THAT(Page("CA", 0), HasSubstr("Fine"));
  const size_t asked = origin.Requests().size();
  EXPECT_EQ(asked, 2u);  // sync-collection, calendar-multiget
  EXPECT_THAT(Page("CA", 0), HasSubstr("Fine"));
  EXPECT_THAT(Page("CO", 0), HasSubstr("Fine"));
  EXPECT_EQ(origin.Requests().size(), asked);
  // Another password is no cached logon: the server is asked (and here, a stand-in, takes it).
  EXPECT_THAT(Page("CA", 0, "other"), HasSubstr("Fine"));
  EXPECT_GT(origin.Requests().size(), asked);
}

TEST_F(CalDAVMailboxTest, RequestsOfOneMailboxAtOnceRefreshItOnce) {
  Configure(10, 2000, 10000);
  TLogonCache cache(300);
  const ProcessWide<TLogonCache>::Installation installed(LogonCache, cache);
  StandInOrigin origin(CannedMultistatus(today_));
  Bind(origin.Url("/c/"));
  // The main thread is in the multithreaded apartment (the fixture's objects), which these join.
  std::atomic<int> shown{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 6; ++i)
    threads.emplace_back([&shown] {
      if (Page("CA", 0).find("Fine") != std::string::npos) ++shown;
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(shown, 6);
  EXPECT_EQ(origin.Requests().size(), 2u);  // one sync-collection, one calendar-multiget
}

}  // namespace
}  // namespace qv::testing
