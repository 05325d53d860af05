// The calendar pages compared byte for byte: the list with day headers, paging links both ways and an
// all-day entry, the detail page with and without location, the first and last appointment, "no
// appointments", a budget of zero or below; the budget figures; the mended texts.
#include "exchange/calendar_pages.h"

#include <gtest/gtest.h>

#include "e2e/service_decks.h"
#include "exchange/deck_settings.h"
#include "exchange/fake_library.h"
#include "exchange/pages_fixture.h"
#include "exchange/response_envelope.h"
#include "server/request_thread.h"
#include "testing/wbxml_deck.h"
#include "testing/wml_check.h"
#include "testing/wml_links.h"

namespace qv::testing {
namespace {

const std::string kHeader = "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n";

std::string Response(const std::string& body) {
  return kHeader + ServiceDeck(body);
}

std::string CompilerMessages(const WmlCheck& check) {
  std::string text;
  for (const auto& message : check.messages) text += message + "\n";
  return text;
}

// Thirteen appointments over nine days from tomorrow on, for mailbox jdoe with password secret.
class CalendarPagesTest : public PagesTest {
 protected:
  void SetUp() override {
    QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoAccounts);
    PagesTest::SetUp();
    store_->AddMailbox("jdoe", "John Doe", AddAccount("jdoe", "secret"));
    const auto at = [&](int day, int hour, int minute) {
      return today_ + day + (hour * 60 + minute) / 1440.0;
    };
    Import("jdoe", IcalEvent("0", at(1, 9, 0), at(1, 10, 0), "Team meeting", "Room 4", "Bring the slides") +
                       IcalEvent("1", at(1, 14, 30), at(1, 15, 0), "Dentist", "", "Dr. Miller") +
                       IcalAllDayEvent("2", today_ + 2, "Holiday in the mountains") +
                       IcalEvent("3", at(3, 8, 15), at(3, 9, 0), "Budget review Q3") +
                       IcalEvent("4", at(3, 11, 0), at(3, 12, 0), "Lunch with Anna") +
                       IcalEvent("5", at(4, 16, 0), at(4, 16, 30), "Call") +
                       IcalEvent("6", at(5, 10, 0), at(5, 11, 0), "Standup") +
                       IcalEvent("7", at(5, 13, 0), at(5, 14, 0), "Review & <plan>") +
                       IcalEvent("8", at(6, 9, 0), at(6, 10, 0), "Sprint planning") +
                       IcalEvent("9", at(6, 15, 0), at(6, 16, 0), "Gym $5") +
                       IcalAllDayEvent("10", today_ + 7, "Conference") +
                       IcalEvent("11", at(8, 10, 0), at(8, 12, 0), "Flight home") +
                       IcalEvent("12", at(9, 8, 0), at(9, 17, 0), "Back to work"));
  }

  std::string Day(int day) const { return "** " + DayText(today_ + day) + " **<br/>"; }
  std::string Date(int day) const { return DayText(today_ + day); }
};

TEST_F(CalendarPagesTest, TheFirstListPageHasDayHeadersAnAllDayEntryAndAForwardLink) {
  EXPECT_EQ(
      Respond("jdoe", "secret", "CA", "0"),
      Response(Day(1) + "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">09:00 Team meeting</a><br/>" +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=1\">14:30 Dentist</a><br/>" + Day(2) +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=2\">--:-- Holiday in t</a><br/>" + Day(3) +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=3\">08:15 Budget revie</a><br/>" +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=4\">11:00 Lunch with A</a><br/>" + Day(4) +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=5\">16:00 Call</a><br/>" +
               " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=6\">&gt;&gt;</a>"));
}

TEST_F(CalendarPagesTest, AMiddlePageLinksBothWaysAndKeepsTheHeaderWhoseEntryNoLongerFitted) {
  // The subjects are cut before they are escaped; "$" is written "$$".
  EXPECT_EQ(
      Respond("jdoe", "secret", "CA", "6"),
      Response(Day(5) + "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=6\">10:00 Standup</a><br/>" +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=7\">13:00 Review &#38; &#60;pl</a><br/>" +
               Day(6) + "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=8\">09:00 Sprint plann</a><br/>" +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=9\">15:00 Gym $$5</a><br/>" + Day(7) +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=10\">--:-- Conference</a><br/>" + Day(8) +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=1\">&lt;&lt;</a>" +
               " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=11\">&gt;&gt;</a>"));
}

TEST_F(CalendarPagesTest, TheLastPageHasOnlyTheBackwardLink) {
  EXPECT_EQ(
      Respond("jdoe", "secret", "CA", "11"),
      Response(Day(8) + "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=11\">10:00 Flight home</a><br/>" +
               Day(9) + "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=12\">08:00 Back to work</a><br/>" +
               "<a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=6\">&lt;&lt;</a>"));
}

TEST_F(CalendarPagesTest, APositionBeyondTheLastAppointmentHasNone) {
  EXPECT_EQ(Respond("jdoe", "secret", "CA", "13"), Response("no appointments"));
  EXPECT_EQ(Respond("jdoe", "secret", "CO", "13"), Response("no appointments"));
  store_->AddMailbox("empty", "Nobody's calendar", AddAccount("empty", "pw"));
  EXPECT_EQ(Respond("empty", "pw", "CA", ""), Response("no appointments"));
  EXPECT_TRUE(EventsWithId(200).empty());
}

TEST_F(CalendarPagesTest, APositionThatIsNoNumberGivesTheFirstPageAndEvent200) {
  const std::string first = Respond("jdoe", "secret", "CA", "0");
  EXPECT_EQ(Respond("jdoe", "secret", "CA", "abc"), first);
  const auto events = EventsWithId(200);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].EventType, 2);  // warning
  EXPECT_EQ(events[0].Strings, (std::vector<std::string>{"CalendarItem abc", "Mailbox jdoe"}));
  EXPECT_TRUE(HasTraceEntry(StopTrace(), "abc is not a valid CaledarItem"));
}

TEST_F(CalendarPagesTest, TheDetailPageOfTheFirstAppointment) {
  EXPECT_EQ(
      Respond("jdoe", "secret", "CO", "0"),
      Response("|-&#62; " + Date(1) + " 09:00<br/>-&#62;| " + Date(1) + " 10:00<br/>" +
               "Subject:<br/>Team meeting<br/>Location:<br/>Room 4<br/>Text:<br/>Bring the slides<br/>" +
               " <a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=1\">&gt;&gt;</a>" +
               " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=0\">CAL</a>"));
}

TEST_F(CalendarPagesTest, TheDetailPageWithoutLocationLinksBothWays) {
  EXPECT_EQ(Respond("jdoe", "secret", "CO", "1"),
            Response("|-&#62; " + Date(1) + " 14:30<br/>-&#62;| " + Date(1) + " 15:00<br/>" +
                     "Subject:<br/>Dentist<br/>Text:<br/>Dr. Miller<br/>" +
                     "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">&lt;&lt;</a>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=2\">&gt;&gt;</a>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=1\">CAL</a>"));
}

TEST_F(CalendarPagesTest, AnAllDayAppointmentHasOneTimeLine) {
  EXPECT_EQ(Respond("jdoe", "secret", "CO", "2"),
            Response("|-&#62; " + Date(2) + " --:--<br/>Subject:<br/>Holiday in the mountains<br/>" +
                     "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=1\">&lt;&lt;</a>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=3\">&gt;&gt;</a>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=2\">CAL</a>"));
}

TEST_F(CalendarPagesTest, TheLastAppointmentHasNoForwardLink) {
  EXPECT_EQ(Respond("jdoe", "secret", "CO", "12"),
            Response("|-&#62; " + Date(9) + " 08:00<br/>-&#62;| " + Date(9) + " 17:00<br/>" +
                     "Subject:<br/>Back to work<br/>" +
                     "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=11\">&lt;&lt;</a>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=12\">CAL</a>"));
}

TEST_F(CalendarPagesTest, ADetailPositionThatIsNoNumberShowsTheFirstAppointmentWithEvent200) {
  EXPECT_EQ(Respond("jdoe", "secret", "CO", ""), Respond("jdoe", "secret", "CO", "0"));
  const auto events = EventsWithId(200);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Strings, (std::vector<std::string>{"CalendarItem ", "Mailbox jdoe"}));
  EXPECT_TRUE(HasTraceEntry(StopTrace(), " is not a valid CaledarItem"));
}

TEST_F(CalendarPagesTest, ABudgetOfZeroOrBelowKeepsTheTimesTheLinksAndOneEntryWithoutSubject) {
  StartTrace(3);
  // 474 - 346 - 3 * 64 = -64 for the detail page, 474 - 346 - 2 * 64 = 0 for the list.
  EXPECT_EQ(Respond("jdoe", "secret", "CO", "1", 474),
            Response("|-&#62; " + Date(1) + " 14:30<br/>-&#62;| " + Date(1) + " 15:00<br/>" +
                     "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">&lt;&lt;</a>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=2\">&gt;&gt;</a>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=1\">CAL</a>"));
  // The list still shows its first appointment, so both links move: back by one, on by one.
  const std::string list = Respond("jdoe", "secret", "CA", "1", 474);
  EXPECT_EQ(list, Response(Day(1) + "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=1\">14:30 </a><br/>" +
                           "<a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=0\">&lt;&lt;</a>" +
                           " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=2\">&gt;&gt;</a>"));
  // Such a page is over the phone's limit, and the trace says so.
  ASSERT_GT(list.size(), 474u);
  EXPECT_TRUE(HasTraceEntry(
      StopTrace(), "Page over MaxPdu: " + std::to_string(list.size()) + " bytes for a limit of 474"));
}

TEST_F(CalendarPagesTest, AFirstEntryThatDoesNotFitWholeKeepsWhatTheBudgetLeavesOfItsSubject) {
  // Budget 566 - 346 - 2 * 64 = 92: the day header (21) and the entry without subject (63) leave
  // 7 bytes below it.
  EXPECT_EQ(Respond("jdoe", "secret", "CA", "0", 566),
            Response(Day(1) + "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">09:00 Team me</a><br/>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=1\">&gt;&gt;</a>"));
  // At 500 nothing is left: the entry shows its time only, and the forward link still moves on.
  EXPECT_EQ(Respond("jdoe", "secret", "CA", "0", 500),
            Response(Day(1) + "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">09:00 </a><br/>" +
                     " <a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=1\">&gt;&gt;</a>"));
}

TEST_F(CalendarPagesTest, EveryPageKindPassesTheGatewaysCompiler) {
  QV_SKIP_REST_ON_WINDOWS(qv::testing::kGatewayOnLinuxOnly);
  for (const auto& [kind, position] : std::vector<std::pair<std::string, std::string>>{
           {"CA", "0"}, {"CA", "6"}, {"CA", "11"}, {"CA", "13"}, {"CO", "0"}, {"CO", "7"}, {"CO", "9"}}) {
    const std::string response = Respond("jdoe", "secret", kind, position);
    const WmlCheck check = CheckWmlDeck(response.substr(kHeader.size()));
    EXPECT_TRUE(check.accepted) << kind << position << "\n" << CompilerMessages(check) << response;
  }
  // The phone reads the texts as they were written.
  const WmlCheck check = CheckWmlDeck(Respond("jdoe", "secret", "CA", "6").substr(kHeader.size()));
  ASSERT_TRUE(check.accepted);
  const WbxmlDeck deck = DecodeWbxmlDeck(check.wbxml);
  EXPECT_TRUE(deck.HasText("13:00 Review & <pl")) << deck.markup;
  EXPECT_TRUE(deck.HasText("15:00 Gym $5")) << deck.markup;
}

// Pages built on the test's own library: texts the calendar store would not take.
class PagesOnTheLibraryTest : public PagesTest {
 protected:
  FakeAppointment At(int day, int hour, const std::string& subject) const {
    FakeAppointment a;
    a.start = today_ + day + hour / 24.0;
    a.end = a.start + 1 / 24.0;
    a.subject = subject;
    return a;
  }
  std::string Deck(const std::string& body) const { return DeckResponse(body).substr(kHeader.size()); }

  std::shared_ptr<FakeSession> session_ = std::make_shared<FakeSession>();
};

TEST_F(PagesOnTheLibraryTest, TheBudgetFigures) {
  session_->appointments = {At(1, 9, "Quarterly review")};
  TWCCalendar calendar(session_, "jdoe", "secret", "0", 1000);
  EXPECT_EQ(calendar.PageBudget(TWCCalendar::kListLinks, 0), 526);
  EXPECT_EQ(calendar.PageBudget(TWCCalendar::kDetailLinks, 0), 1000 - 346 - 3 * 64);
  EXPECT_EQ(calendar.PageBudget(TWCCalendar::kListLinks, 1234), 526 - 2 * 3);
  EXPECT_EQ(TWCCalendar(session_, "jdoe", "secret", "0", 400).PageBudget(TWCCalendar::kListLinks, 0), -74);

  FakeAppointmentItem item(session_->appointments[0]);
  const auto day = static_cast<int64_t>(today_ + 1);
  std::string page;
  int64_t last_day = day;  // no header: the entry alone
  EXPECT_TRUE(calendar.AddListEntry(item, &page, 3, 526, &last_day));
  EXPECT_EQ(page, "<a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=3\">09:00 Quarterly re</a><br/>");
  EXPECT_EQ(page.size(), 75u);
  page.clear();
  last_day = 0;
  EXPECT_TRUE(calendar.AddListEntry(item, &page, 3, 526, &last_day));
  EXPECT_EQ(page.size(), 21u + 75u);
  EXPECT_EQ(page.substr(0, 21), "** " + DayText(today_ + 1) + " **<br/>");
  EXPECT_EQ(last_day, day);
  // The entry must stay below the budget: at exactly 96 it does not fit, and the header stays.
  page.clear();
  last_day = 0;
  EXPECT_FALSE(calendar.AddListEntry(item, &page, 3, 96, &last_day));
  EXPECT_EQ(page.size(), 21u);
  page.clear();
  last_day = 0;
  EXPECT_FALSE(calendar.AddListEntry(item, &page, 3, 21, &last_day));
  EXPECT_EQ(page, "");
  EXPECT_EQ(last_day, day);  // the day is taken whether or not its header fitted
}

TEST_F(PagesOnTheLibraryTest, ATimeOfFourCharactersLeavesThirteenForTheSubject) {
  ProcessObjectsFixture::Set({"TimeFormat", "h:nn"});
  StartTrace(3);
  session_->appointments = {At(1, 9, "Quarterly review")};
  TWCCalendar calendar(session_, "jdoe", "secret", "0", 1000);
  EXPECT_EQ(calendar.GetAppointmentList(),
            "** " + DayText(today_ + 1) +
                " **<br/><a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">9:00 "
                "Quarterly rev</a><br/>");
}

TEST_F(PagesOnTheLibraryTest, TheWindowIsTodayToAYearFromTodayFromTheDefaultCalendar) {
  TWCCalendar calendar(session_, "jdoe", "secret", "0", 1000);
  EXPECT_EQ(session_->default_folder_kind, 0);
  calendar.GetAppointmentList();
  EXPECT_EQ(session_->filter->earliest_end, Date());
  EXPECT_EQ(session_->filter->latest_start, Date() + 365);
  EXPECT_TRUE(HasTraceEntry(StopTrace(), "CDO GetDefaultFolder"));
}

TEST_F(PagesOnTheLibraryTest, TheOnlyAppointmentHasNoPagingLinks) {
  session_->appointments = {At(1, 9, "Alone")};
  TWCCalendar calendar(session_, "jdoe", "secret", "0", 1000);
  EXPECT_EQ(calendar.GetAppointment(), "|-&#62; " + DayText(today_ + 1) + " 09:00<br/>-&#62;| " +
                                           DayText(today_ + 1) + " 10:00<br/>Subject:<br/>Alone<br/>" +
                                           "<a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=0\">CAL</a>");
  // A list without a next appointment ends with its last "<br/>".
  EXPECT_EQ(TWCCalendar(session_, "jdoe", "secret", "0", 1000).GetAppointmentList(),
            "** " + DayText(today_ + 1) +
                " **<br/><a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">09:00 Alone</a><br/>");
}

TEST_F(PagesOnTheLibraryTest, ALongTextIsCutSoThatItStaysWithinTheBudgetOnceEscaped) {
  FakeAppointment a = At(1, 9, "S");
  a.text = std::string(2000, 'x');
  session_->appointments = {a};
  TWCCalendar calendar(session_, "jdoe", "secret", "0", 1000);
  const int64_t budget = calendar.PageBudget(TWCCalendar::kDetailLinks, 0);  // 462
  const std::string page = calendar.GetAppointment();
  const std::string times =
      "|-&#62; " + DayText(today_ + 1) + " 09:00<br/>-&#62;| " + DayText(today_ + 1) + " 10:00<br/>";
  const std::string before_text = times + "Subject:<br/>S<br/>";
  const size_t kept = static_cast<size_t>(budget) - before_text.size() - 5;
  const std::string links = "<a href=\"?U=jdoe&amp;P=secret&amp;E=CA&amp;X=0\">CAL</a>";
  EXPECT_EQ(page, before_text + "Text:<br/>" + std::string(kept, 'x') + "<br/>" + links);
  // With references the text keeps as many whole ones as fit the same bytes, none cut in two.
  session_->appointments[0].text = std::string(2000, '<');
  std::string references;
  for (size_t i = 0; i < kept / 5; ++i) references += "&#60;";
  EXPECT_EQ(TWCCalendar(session_, "jdoe", "secret", "0", 1000).GetAppointment(),
            before_text + "Text:<br/>" + references + "<br/>" + links);
}

TEST_F(PagesOnTheLibraryTest, ControlCharactersAreLeftOutAndDollarSignsDoubled) {
  FakeAppointment a = At(1, 9, "Pay $5\x01\x1b nowhere");
  a.location = "\x07";  // nothing left: no label either
  a.text = "Line one\r\nLine\ttwo \x02<b>$(U)</b>";
  session_->appointments = {a, At(2, 10, "\x7f$x & \"y\"")};
  const std::string list = TWCCalendar(session_, "jdoe", "secret", "0", 1000).GetAppointmentList();
  // The cut comes first (12 characters, two of them control characters), then what is left out.
  EXPECT_NE(list.find(">09:00 Pay $$5 now</a>"), std::string::npos) << list;
  EXPECT_NE(list.find(">10:00 $$x &#38; &#34;y&#34;</a>"), std::string::npos) << list;
  const std::string detail = TWCCalendar(session_, "jdoe", "secret", "0", 1000).GetAppointment();
  EXPECT_NE(detail.find("Subject:<br/>Pay $$5 nowhere<br/>Text:<br/>Line one\r\nLine\ttwo "
                        "&#60;b&#62;$$(U)&#60;/b&#62;<br/>"),
            std::string::npos)
      << detail;
  QV_SKIP_REST_ON_WINDOWS(qv::testing::kGatewayOnLinuxOnly);
  for (const std::string& body : {list, detail}) {
    const WmlCheck check = CheckWmlDeck(Deck(body));
    EXPECT_TRUE(check.accepted) << CompilerMessages(check) << body;
    EXPECT_TRUE(check.messages.empty()) << CompilerMessages(check);
  }
  const WmlCheck check = CheckWmlDeck(Deck(detail));
  ASSERT_TRUE(check.accepted);
  const WbxmlDeck deck = DecodeWbxmlDeck(check.wbxml);
  EXPECT_TRUE(deck.HasText("Pay $5 nowhere")) << deck.markup;
  EXPECT_TRUE(deck.HasText("<b>$(U)</b>")) << deck.markup;
}

TEST_F(PagesOnTheLibraryTest, MailboxAndPasswordArePercentEncodedWhereTheyEnterTheLinks) {
  session_->appointments = {At(1, 9, "One"), At(1, 10, "Two"), At(2, 9, "Three")};
  const std::string mailbox = "o'<b>\"x";
  const std::string password = "a&b %c+d#e=f$<";
  const std::string link_mailbox = "o%27%3Cb%3E%22x";
  const std::string link_password = "a%26b%20%25c%2Bd%23e%3Df%24%3C";
  TWCCalendar calendar(session_, mailbox, password, "1", 1000);
  // The budget counts the values as they stand in the links.
  EXPECT_EQ(calendar.LinkLength(1),
            53 + static_cast<int64_t>(link_mailbox.size() + link_password.size()) + 1);
  const std::string list = calendar.GetAppointmentList();
  EXPECT_NE(list.find("<a href=\"?U=" + link_mailbox + "&amp;P=" + link_password + "&amp;E=CO&amp;X=1\">"),
            std::string::npos)
      << list;
  EXPECT_NE(
      list.find("<a href=\"?U=" + link_mailbox + "&amp;P=" + link_password + "&amp;E=CA&amp;X=0\">&lt;&lt;"),
      std::string::npos)
      << list;
  const std::string detail = TWCCalendar(session_, mailbox, password, "1", 1000).GetAppointment();
  // Followed as written, every link gives back the values the page was made with.
  for (const std::string& body : {list, detail}) {
    for (const WmlLink& link : DeckLinks(body)) {
      const std::string request = "GET /" + PhoneUrl("http://gw/", link.href, {}).substr(10) + " HTTP/1.1";
      EXPECT_EQ(TSrvThread::GetParamValue(request, "U"), mailbox) << request;
      EXPECT_EQ(TSrvThread::GetParamValue(request, "P"), password) << request;
    }
  }
  QV_SKIP_REST_ON_WINDOWS(qv::testing::kGatewayOnLinuxOnly);
  for (const std::string& body : {list, detail}) {
    const WmlCheck check = CheckWmlDeck(Deck(body));
    EXPECT_TRUE(check.accepted) << CompilerMessages(check) << body;
    EXPECT_TRUE(check.messages.empty()) << CompilerMessages(check);
  }
  // The compiled deck carries the same link.
  const WbxmlDeck deck = DecodeWbxmlDeck(CheckWmlDeck(Deck(detail)).wbxml);
  EXPECT_NE(deck.markup.find("?U=" + link_mailbox + "&amp;P=" + link_password + "&amp;E=CO&amp;X=0"),
            std::string::npos)
      << deck.markup;
}

TEST_F(PagesOnTheLibraryTest, TheSettingsTextsAreEscapedLikeAppointmentTexts) {
  ProcessObjectsFixture::Set({"DeckHeader", "Smith & Sons $(P)"});
  ProcessObjectsFixture::Set({"DateFormat", "dd.mm. \"<&>\" $(P)"});
  ProcessObjectsFixture::Set({"TimeFormat", "hh:nn \"&\""});
  StartTrace(0);
  session_->appointments = {At(1, 9, "One"), At(2, 9, "Two")};
  const std::string date = DayText(today_ + 1).substr(0, 6) + " &#60;&#38;&#62; $$(P)";
  const std::string list = TWCCalendar(session_, "jdoe", "secret", "0", 1000).GetAppointmentList();
  EXPECT_TRUE(list.starts_with(
      "** " + date + " **<br/><a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">09:00 &#38; One</a>"))
      << list;
  const std::string detail = TWCCalendar(session_, "jdoe", "secret", "0", 1000).GetAppointment();
  EXPECT_TRUE(detail.starts_with("|-&#62; " + date + " 09:00 &#38;<br/>")) << detail;
  // The title counts as it stands in the deck: 22 bytes, 6 more than the room kept for it.
  EXPECT_EQ(TWCCalendar(session_, "jdoe", "secret", "0", 1000).EnvelopeReserve(), 346 + 6);
  const std::string deck = Deck(list);
  EXPECT_NE(deck.find("<card id=\"logon\" title=\"Smith &#38; Sons $$(P)\">"), std::string::npos) << deck;

  QV_SKIP_REST_ON_WINDOWS(qv::testing::kGatewayOnLinuxOnly);
  for (const std::string& body : {list, detail}) {
    const WmlCheck check = CheckWmlDeck(Deck(body));
    ASSERT_TRUE(check.accepted) << CompilerMessages(check) << body;
    EXPECT_TRUE(check.messages.empty()) << CompilerMessages(check);
    // The phone shows the texts as they were set: no variable in them.
    const WbxmlDeck compiled = DecodeWbxmlDeck(check.wbxml);
    EXPECT_NE(compiled.markup.find("title=\"Smith &amp; Sons $$(P)\""), std::string::npos) << compiled.markup;
    EXPECT_TRUE(compiled.HasText(" <&> $(P)")) << compiled.markup;
  }
}

TEST_F(PagesOnTheLibraryTest, Windows1252ExtrasAreReferencesUnlessTheDeckIsWindows1252) {
  session_->appointments = {At(1, 9,
                               "\x80"
                               "5 \x93hi\x94\x85\x81")};
  const std::string deck = Deck(TWCCalendar(session_, "jdoe", "secret", "0", 1000).GetAppointmentList());
  EXPECT_NE(deck.find(">09:00 &#8364;5 &#8220;hi&#8221;&#8230;</a>"), std::string::npos) << deck;
  EXPECT_EQ(deck.find_first_of(std::string("\x80\x81\x85\x93\x94")), std::string::npos) << deck;
  if (!SkipOnWindows(kGatewayOnLinuxOnly)) {
    EXPECT_TRUE(CheckWmlDeck(deck).accepted) << deck;
  }

  ProcessObjectsFixture::Set({"CharSet", "windows-1252"});
  StartTrace(0);
  const std::string as_they_are = TWCCalendar(session_, "jdoe", "secret", "0", 1000).GetAppointmentList();
  EXPECT_NE(as_they_are.find(">09:00 \x80"
                             "5 \x93hi\x94\x85</a>"),
            std::string::npos)
      << as_they_are;
}

TEST_F(PagesOnTheLibraryTest, NegativePositionsCountAsTheFirst) {
  session_->appointments = {At(1, 9, "One"), At(1, 10, "Two")};
  EXPECT_EQ(TWCCalendar(session_, "a", "b", "-3", 1000).GetAppointmentList(),
            TWCCalendar(session_, "a", "b", "0", 1000).GetAppointmentList());
  EXPECT_EQ(TWCCalendar(session_, "a", "b", "-1", 1000).GetAppointment(),
            TWCCalendar(session_, "a", "b", "0", 1000).GetAppointment());
  EXPECT_TRUE(EventsWithId(200).empty());
}

}  // namespace
}  // namespace qv::testing
