// Mailboxes as people set them up, through the request handler as a phone meets them, on Radicale
// and Xandikos: bound by the server's root address, the collection is found at the first logon and
// kept, and the calendar walks item for item as the same calendar imported (appointments of one start
// included, which the servers list in an order of their own); with only CalDAVCollectionTemplate set,
// a mailbox nobody registered logs on and walks the same, a refused password leaves nothing behind,
// and two services of the same settings and separate state answer a walk whose steps alternate
// between them deck for deck as one service does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>

#include "exchange/caldav/collection_template.h"
#include "exchange/caldav_fixture.h"
#include "platform/process/environment.h"
#include "server/request_thread.h"
#include "store/calendar_store_pool.h"
#include "support/percent_encoding.h"
#include "testing/test_state_dir.h"
#include "testing/wml_links.h"

namespace qv::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kGateway[] = "http://127.0.0.1/";

// A recurring meeting, an all-day event, and four appointments of one start (two of one end, two of
// one subject) whose UIDs sort against the order a server may list them in.
ClientCalendar CrowdedCalendar(TDateTime today) {
  ClientCalendar calendar;
  const TDateTime nine = today + 2 + 9 / 24.0;
  calendar.events = {
      {"zulu", IcalEvent("zulu", nine, nine + 1 / 24.0, "Standup")},
      {"alpha", IcalEvent("alpha", nine, nine + 1 / 24.0, "Standup")},
      {"mike", IcalEvent("mike", nine, nine + 2 / 24.0, "Review")},
      {"bravo", IcalEvent("bravo", nine, nine + 1 / 24.0, "Coffee", "Kitchen")},
      {"weekly", "BEGIN:VEVENT\r\nUID:weekly\r\nDTSTART:" + IcalTime(today + 1 + 14 / 24.0) +
                     "\r\nDTEND:" + IcalTime(today + 1 + 15 / 24.0) +
                     "\r\nRRULE:FREQ=WEEKLY;COUNT=20\r\nSUMMARY:Jour fixe\r\nEND:VEVENT\r\n"},
      {"holiday", IcalAllDayEvent("holiday", today + 4, "Holiday")},
  };
  return calendar;
}

class CalDAVSetUpTest : public CalDAVLogonTest, public ::testing::WithParamInterface<CalDAVServerKind> {
 protected:
  // The list pages and single appointments across the window, as the mailbox shows them.
  static std::vector<std::string> Pages(const std::string& mailbox = "jdoe") {
    std::vector<std::string> pages;
    for (const int position : {0, 1, 2, 3, 4, 5, 6, 7, 12, 24, 25, 26})
      for (const char* kind : {"CA", "CO"}) pages.push_back(Page(kind, position, kCalDAVPassword, mailbox));
    return pages;
  }

  // The pages of the calendar imported into a mailbox of a local account of the same name.
  std::vector<std::string> ImportedPages(const ClientCalendar& calendar) {
    store_->AddMailbox("jdoe", "jdoe", AddAccount("jdoe", kCalDAVPassword));
    store_->Import("jdoe", calendar.File(), false);
    std::vector<std::string> pages = Pages();
    EXPECT_TRUE(store_->DeleteMailbox("jdoe"));
    return pages;
  }

  void ExpectSamePages(const std::vector<std::string>& imported, const std::vector<std::string>& mirrored) {
    ASSERT_EQ(mirrored.size(), imported.size());
    for (size_t i = 0; i < imported.size(); ++i) EXPECT_EQ(mirrored[i], imported[i]) << "page " << i;
    std::string all;
    for (const std::string& page : mirrored) all += page;
    for (const char* subject : {"Standup", "Review", "Coffee", "Jour fixe", "Holiday"})
      EXPECT_THAT(all, HasSubstr(subject));
  }

  void SetTemplate(const std::string& collection_template) {
    ProcessObjectsFixture::Set({"CalDAVCollectionTemplate", collection_template});
    objects_->Restart();
  }
};

TEST_P(CalDAVSetUpTest, BoundByTheServersRootAddressTheCalendarWalksAsTheSameCalendarImported) {
  const ClientCalendar calendar = CrowdedCalendar(today_);
  const std::vector<std::string> imported = ImportedPages(calendar);
  const CalDAVServer server(GetParam());
  server.UploadFile(calendar.File());
  store_->AddCalDAVMailbox("jdoe", "jdoe", {server.Url("/"), kCalDAVUser, false});
  ExpectSamePages(imported, Pages());
  // The collection found is kept: the next logons go to it directly.
  const auto mailbox = store_->FindMailbox("jdoe");
  ASSERT_TRUE(mailbox && mailbox->caldav);
  EXPECT_EQ(mailbox->caldav->collection, server.CollectionUrl());
  EXPECT_EQ(mailbox->caldav->url, server.Url("/"));
  const std::string trace = StopTrace();
  EXPECT_THAT(trace, HasSubstr("CalDAV discovery: PROPFIND " + server.Url("/")));
}

TEST_P(CalDAVSetUpTest, WithOnlyTheTemplateAMailboxNobodyRegisteredLogsOnAndWalks) {
  const ClientCalendar calendar = CrowdedCalendar(today_);
  const std::vector<std::string> imported = ImportedPages(calendar);
  const CalDAVServer server(GetParam());
  server.UploadFile(calendar.File());
  SetTemplate(server.Url("/"));
  ExpectSamePages(imported, Pages());
  const auto mailbox = store_->FindMailbox("jdoe");
  ASSERT_TRUE(mailbox && mailbox->caldav);
  EXPECT_TRUE(mailbox->caldav->from_template);
  EXPECT_EQ(mailbox->caldav->user, "jdoe");
  EXPECT_EQ(mailbox->caldav->collection, server.CollectionUrl());
  EXPECT_TRUE(EventsWithId(122).empty());
  if (GetParam() == CalDAVServerKind::kRadicale) {
    // A refused password (Radicale checks them) stores nothing.
    EXPECT_EQ(Page("CA", 0, "wrong", "ghost"), ErrorCardResponse());
    EXPECT_EQ(EventsWithId(122).size(), 1u);
    EXPECT_FALSE(store_->FindMailbox("ghost"));
  }
  // A name Basic authentication cannot carry is no user of the server: the logon of an unknown name.
  const size_t refused = EventsWithId(122).size();
  EXPECT_EQ(Page("CA", 0, kCalDAVPassword, "jdoe:x"), ErrorCardResponse());
  EXPECT_EQ(EventsWithId(122).size(), refused + 1);
  EXPECT_FALSE(store_->FindMailbox("jdoe:x"));
  // The template changed: the mailbox follows it, here to the collection itself (Radicale's named by
  // the mailbox; Xandikos has one principal for every user).
  SetTemplate(server.Url(GetParam() == CalDAVServerKind::kRadicale ? "/{mailbox}/calendar/"
                                                                   : "/user/calendars/calendar/"));
  ExpectSamePages(imported, Pages());
  EXPECT_EQ(store_->FindMailbox("jdoe")->caldav->collection, server.CollectionUrl());
  // Off: the template's mailboxes are not opened.
  SetTemplate("");
  EXPECT_EQ(Page("CA", 0), ErrorCardResponse());
}

// Two services with the same settings and a state directory each: the calendar store of the one
// whose turn it is is the state directory's that QUORVANE_STATE_DIR names.
class Machines {
 public:
  void Use(int machine) {
    CalendarStorePool::CloseWaiting();
    platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", machine == 0 ? first_.Path() : second_.Path());
  }

 private:
  TestStateDir first_;
  TestStateDir second_;
};

// The deck a gateway gets for a URL.
std::string Get(const std::string& url) {
  TWCExchange handler(nullptr);
  TSrvThread::SetRequestValues(
      "GET " + url.substr(url.find('/', 7)) + " HTTP/1.1\r\nx-up-devcap-max-pdu: 1000\r\n", handler);
  const std::string response = handler.GetResponse();
  return response.substr(response.find("\r\n\r\n") + 4);
}

// Every deck of the walk from the logon form's link on, breadth first, each step answered by the
// machine `machine_of` names for the step's number.
std::vector<std::string> Walk(const std::function<void(size_t)>& machine_of) {
  std::string first;
  for (const WmlLink& link : DeckLinks(Get(kGateway)))
    if (link.label == "login") first = PhoneUrl(kGateway, link.href, {{"U", "jdoe"}, {"P", kCalDAVPassword}});
  EXPECT_FALSE(first.empty());
  std::vector<std::string> decks;
  std::deque<std::string> pending{first};
  std::set<std::string> seen{first};
  while (!pending.empty() && decks.size() < 200) {
    const std::string url = pending.front();
    pending.pop_front();
    machine_of(decks.size());
    decks.push_back(url + "\n" + Get(url));
    for (const WmlLink& link : DeckLinks(decks.back().substr(url.size() + 1))) {
      const std::string next = PhoneUrl(url, link.href, {});
      if (seen.insert(next).second) pending.push_back(next);
    }
  }
  return decks;
}

TEST_P(CalDAVSetUpTest, TwoServicesOfTheSameSettingsAnswerAnAlternatingWalkAsOneDoes) {
  const CalDAVServer server(GetParam());
  server.UploadFile(CrowdedCalendar(today_).File());
  SetTemplate(server.Url("/"));
  const std::vector<std::string> alone = Walk([](size_t) {});
  ASSERT_GT(alone.size(), 40u);
  for (const std::string& deck : alone) ASSERT_THAT(deck, Not(HasSubstr("Could not logon you"))) << deck;
  Machines machines;
  const std::vector<std::string> alternating = Walk([&machines](size_t step) { machines.Use(step % 2); });
  ASSERT_EQ(alternating.size(), alone.size());
  for (size_t i = 0; i < alone.size(); ++i) EXPECT_EQ(alternating[i], alone[i]);
  CalendarStorePool::CloseWaiting();
}

TEST(CollectionTemplateTest, TheMailboxNameGoesIntoTheAddressPercentEncoded) {
  EXPECT_EQ(caldav::TemplateAddress("https://dav.example.org/", "anna"), "https://dav.example.org/");
  EXPECT_EQ(
      caldav::TemplateAddress("https://dav.example.org/calendars/{mailbox}/work/", "O'Hara & S\xC3\xB6hne/x"),
      "https://dav.example.org/calendars/O%27Hara%20%26%20S%C3%B6hne%2Fx/work/");
  EXPECT_EQ(caldav::TemplateAddress("https://h/{mailbox}/{mailbox}{mailbox", "a.b"),
            "https://h/a.b/a.b{mailbox");
}

INSTANTIATE_TEST_SUITE_P(RealServers, CalDAVSetUpTest,
                         ::testing::Values(CalDAVServerKind::kRadicale, CalDAVServerKind::kXandikos),
                         [](const auto& server) { return ServerName(server.param); });

}  // namespace
}  // namespace qv::testing
