// The service program behind a real WAP gateway, browsed by a phone: every answer must reach the phone
// compiled, without complaints of the gateway, and hold what the calendar holds; the request log and
// the trace show every request the gateway forwarded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/phone_calendar.h"
#include "e2e/service_decks.h"
#include "testing/quorvane_fixture.h"
#include "testing/stand_in_origin.h"
#include "testing/wap_gateway.h"
#include "testing/wap_phone.h"

namespace qv::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::SizeIs;
using ::testing::StartsWith;

constexpr const char* kPhoneMailbox = "demo";
constexpr const char* kPhonePassword = "phone123";
constexpr const char* kWrongPassword = "not-the-password";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The request line as the gateway sends it for a URL, with the password masked as the request log
// shows it.
std::string MaskedGetLine(const std::string& url) {
  std::string target = url.substr(url.find('/', url.find("://") + 3));
  for (size_t at = target.find("P="); at != std::string::npos; at = target.find("P=", at + 2)) {
    if (at > 0 && target[at - 1] != '&' && target[at - 1] != '?') continue;
    const size_t end = std::min(target.find('&', at), target.size());
    target.replace(at + 2, end - at - 2, "********");
  }
  return "GET " + target + " HTTP/1.1";
}

// The lengths of the answers that the trace shows, each made for a phone of 1000 bytes.
std::vector<size_t> ResponseLengths(const std::string& trace) {
  constexpr std::string_view kLine = "MaxChar: 1000Char:";
  std::vector<size_t> lengths;
  for (size_t at = trace.find(kLine); at != std::string::npos; at = trace.find(kLine, at + 1)) {
    lengths.push_back(std::stoul(trace.substr(at + kLine.size(), 8)));
  }
  return lengths;
}

// The labels of a list page's entries: its links except the two that turn the page.
std::vector<std::string> EntryLabels(const PhonePage& page) {
  std::vector<std::string> labels = page.LinkLabels();
  std::erase_if(labels, [](const std::string& label) { return label == "<<" || label == ">>"; });
  return labels;
}

class ServiceBehindGateway : public QuorvaneTest {
 protected:
  void SetUp() override {
    StartServiceWithCalendar(kPhoneMailbox, kPhonePassword, calendar_.Ics(), calendar_.Appointments().size());
  }

  std::string ServiceUrl(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // The phone's first visit: the logon form, then the logon with the mailbox and its password.
  PhonePage LogOn() {
    const PhonePage form = phone_.Open(ServiceUrl("/"));
    EXPECT_TRUE(CompiledCleanly(form.fetch));
    phone_.SetVariable("U", kPhoneMailbox);
    phone_.SetVariable("P", kPhonePassword);
    return phone_.Follow(form, "login");
  }

  // Stops the service, whose files then hold every line.
  void StopService() {
    ASSERT_TRUE(Control(platform::SERVICE_CONTROL_STOP, platform::SERVICE_STOPPED));
    ASSERT_EQ(WaitForServiceProcess(), 0u) << FileText(OutputFile());
  }

  // The request log holds one line per request the phone made, in order, with the password masked,
  // and the trace shows each of them, masked as well.
  void ExpectEveryRequestLogged() {
    const std::vector<std::string>& requests = phone_.Requests();
    std::vector<::testing::Matcher<std::string>> expected;
    for (const auto& url : requests)
      expected.push_back(::testing::EndsWith(" 127.0.0.1 " + MaskedGetLine(url)));
    const std::string log = FileText(RequestLogFile());
    EXPECT_THAT(Lines(log), ElementsAreArray(expected)) << log;
    EXPECT_THAT(log, Not(HasSubstr(kPhonePassword)));
    EXPECT_THAT(log, Not(HasSubstr(kWrongPassword)));

    const std::string trace = Trace();
    EXPECT_EQ(CountOf(trace, "Request from: 127.0.0.1\r\n"), requests.size());
    // The gateway sends no PDU size, so every answer is made for 1000 bytes, and fits them.
    const std::vector<size_t> lengths = ResponseLengths(trace);
    EXPECT_EQ(lengths.size(), requests.size());
    for (const size_t length : lengths) EXPECT_LE(length, 1000u);
    // The requests and answers the trace shows hide the password as the request log does.
    for (const auto& url : requests) EXPECT_THAT(trace, HasSubstr(MaskedGetLine(url) + "\r\n"));
    EXPECT_THAT(trace, Not(HasSubstr(kPhonePassword)));
    EXPECT_THAT(trace, Not(HasSubstr(kWrongPassword)));
  }

  PhoneCalendar calendar_;
  WapGateway gateway_;
  WapPhone phone_{gateway_};
};

TEST_F(ServiceBehindGateway, LogonFormAndAWrongPasswordReachThePhoneAndTheLogsHideThePassword) {
  const PhonePage form = phone_.Open(ServiceUrl("/"));
  ASSERT_TRUE(CompiledCleanly(form.fetch)) << gateway_.WapboxLog();
  EXPECT_EQ(form.deck.markup, kCompiledLogonFormMarkup);

  phone_.SetVariable("U", kPhoneMailbox);
  phone_.SetVariable("P", kWrongPassword);
  const PhonePage refused = phone_.Follow(form, "login");
  EXPECT_EQ(refused.url, ServiceUrl(std::string("/?U=demo&P=") + kWrongPassword + "&"));
  ASSERT_TRUE(CompiledCleanly(refused.fetch)) << gateway_.WapboxLog();
  EXPECT_THAT(refused.deck.texts, ElementsAre("Could not logon you", "back"));

  // "back" leads to the logon form again, from which the right password logs on.
  const PhonePage back = phone_.Follow(refused, "back");
  EXPECT_EQ(back.url, ServiceUrl("/?U=&P=&"));
  ASSERT_TRUE(CompiledCleanly(back.fetch)) << gateway_.WapboxLog();
  EXPECT_EQ(back.deck.markup, kCompiledLogonFormMarkup);
  phone_.SetVariable("P", kPhonePassword);
  const PhonePage list = phone_.Follow(back, "login");
  ASSERT_TRUE(CompiledCleanly(list.fetch)) << gateway_.WapboxLog();
  EXPECT_THAT(EntryLabels(list), Contains(calendar_.ListLabel(0)));

  ASSERT_NO_FATAL_FAILURE(StopService());
  ASSERT_NO_FATAL_FAILURE(ExpectEveryRequestLogged());
  const std::string trace = Trace();
  EXPECT_EQ(CountOf(trace, " Request rejected: Could not logon you MailBox: demo\r\n"), 1u);
  EXPECT_EQ(CountOf(trace, " Login successful\r\n"), 1u);
  EXPECT_THAT(QvanEvents(), Contains("122 1: 127.0.0.1|demo"));
}

TEST_F(ServiceBehindGateway, APhoneBrowsesTheListTheDetailsAndEveryPage) {
  const std::vector<PhoneAppointment>& appointments = calendar_.Appointments();
  const PhonePage first = LogOn();
  ASSERT_TRUE(CompiledCleanly(first.fetch)) << gateway_.WapboxLog();
  ASSERT_FALSE(first.deck.texts.empty());
  EXPECT_EQ(first.deck.texts.front(), calendar_.DayHeader(0));
  EXPECT_EQ(first.Link("<<"), nullptr);
  ASSERT_NE(first.Link(">>"), nullptr);
  const std::vector<std::string> first_entries = EntryLabels(first);
  ASSERT_GE(first_entries.size(), 3u);
  for (size_t i = 0; i < first_entries.size(); ++i) EXPECT_EQ(first_entries[i], calendar_.ListLabel(i));

  // The subject with "<", "&" and "$" shows them as they are, on the list and on its detail page.
  const size_t lunch = calendar_.IndexOf("lunch");
  ASSERT_LT(lunch, first_entries.size());
  EXPECT_EQ(first_entries[lunch], "12:30 PM R&D <$5>");
  const PhonePage detail = phone_.Follow(first, calendar_.ListLabel(lunch));
  ASSERT_TRUE(CompiledCleanly(detail.fetch)) << gateway_.WapboxLog();
  std::vector<std::string> texts = calendar_.DetailTexts(lunch);
  texts.insert(texts.end(), {"<<", ">>", "CAL"});
  EXPECT_EQ(detail.deck.texts, texts);
  EXPECT_EQ(detail.deck.charset, 4u);  // iso-8859-1: "Caf\xe9" arrives as the byte E9

  // Next: the all-day appointment after it, one time line and no end; previous: the lunch again.
  const PhonePage next = phone_.Follow(detail, ">>");
  ASSERT_TRUE(CompiledCleanly(next.fetch)) << gateway_.WapboxLog();
  ASSERT_TRUE(appointments[lunch + 1].AllDay());
  texts = calendar_.DetailTexts(lunch + 1);
  texts.insert(texts.end(), {"<<", ">>", "CAL"});
  EXPECT_EQ(next.deck.texts, texts);
  const PhonePage previous = phone_.Follow(next, "<<");
  ASSERT_TRUE(CompiledCleanly(previous.fetch)) << gateway_.WapboxLog();
  EXPECT_EQ(previous.url, detail.url);
  EXPECT_EQ(previous.deck.markup, detail.deck.markup);

  // "CAL" opens the list at the shown appointment; ">>" goes on to the last page, which has none.
  PhonePage page = phone_.Follow(previous, "CAL");
  std::vector<std::string> listed;
  size_t pages = 0;
  bool review_seen = false;
  for (;;) {
    ++pages;
    ASSERT_TRUE(CompiledCleanly(page.fetch)) << page.url << "\n" << gateway_.WapboxLog();
    const std::vector<std::string> entries = EntryLabels(page);
    ASSERT_FALSE(entries.empty()) << page.deck.markup;
    const size_t first_index = lunch + listed.size();
    ASSERT_LT(first_index, appointments.size());
    EXPECT_EQ(page.deck.texts.front(), calendar_.DayHeader(first_index)) << page.deck.markup;
    EXPECT_NE(page.Link("<<"), nullptr) << page.deck.markup;
    listed.insert(listed.end(), entries.begin(), entries.end());

    // The long text of the review is cut to fit, its links kept.
    const size_t review = calendar_.IndexOf("review");
    if (review >= first_index && review < first_index + entries.size()) {
      const PhonePage review_page = phone_.Follow(page, calendar_.ListLabel(review));
      ASSERT_TRUE(CompiledCleanly(review_page.fetch)) << gateway_.WapboxLog();
      const std::vector<std::string>& shown = review_page.deck.texts;
      const auto label = std::find(shown.begin(), shown.end(), "Text:");
      ASSERT_NE(label, shown.end()) << review_page.deck.markup;
      ASSERT_NE(label + 1, shown.end());
      const std::string& full_text = appointments[review].event->text;
      EXPECT_LT(label[1].size(), full_text.size());
      EXPECT_GT(label[1].size(), 20u);
      EXPECT_THAT(full_text, StartsWith(label[1]));
      EXPECT_THAT(review_page.LinkLabels(), ElementsAre("<<", ">>", "CAL"));
      review_seen = true;
    }
    if (page.Link(">>") == nullptr) break;
    ASSERT_LT(pages, appointments.size()) << "the list pages do not end";
    page = phone_.Follow(page, ">>");
  }
  EXPECT_TRUE(review_seen);
  EXPECT_GE(pages, 4u);
  // Forward, every appointment from the lunch on is shown once, in order.
  std::vector<std::string> expected;
  for (size_t i = lunch; i < appointments.size(); ++i) expected.push_back(calendar_.ListLabel(i));
  EXPECT_EQ(listed, expected);

  ASSERT_NO_FATAL_FAILURE(StopService());
  ASSERT_NO_FATAL_FAILURE(ExpectEveryRequestLogged());
  EXPECT_EQ(CountOf(Trace(), " Login successful\r\n"), phone_.Requests().size() - 1);
}

// The same service with a title that needs escaping, and a second mailbox whose password holds the
// characters a phone's browser escapes when it puts the password into the logon form's link.
class EscapedValuesBehindGateway : public ServiceBehindGateway {
 protected:
  static constexpr const char* kTitle = "Smith & Sons $(P)";
  static constexpr const char* kOddMailbox = "odd";
  static constexpr const char* kOddPassword = "a&b %c+d#e=f";

  void SetUp() override {
    SetMachineText(kSettingsKey, "DeckHeader", kTitle);
    ServiceBehindGateway::SetUp();
    ASSERT_NO_FATAL_FAILURE(CreateMailbox(kOddMailbox, "Odd Password", kOddPassword));
    CalendarStore().Import(kOddMailbox, calendar_.Ics(), false);
  }

  // A page that reached the phone compiled, with the title as it was set (not a variable).
  static ::testing::AssertionResult ShowsTheTitle(const PhonePage& page) {
    const size_t start = page.deck.markup.find(" title=\"");
    if (start == std::string::npos) return ::testing::AssertionFailure() << "no title: " << page.deck.markup;
    const size_t end = page.deck.markup.find('"', start + 8);
    const std::string title = MarkupText(page.deck.markup.substr(start + 8, end - start - 8));
    if (title == kTitle) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the title reads \"" << title << "\"";
  }
};

TEST_F(EscapedValuesBehindGateway, APasswordThePhoneEscapesLogsOnAndEveryLinkCarriesIt) {
  const PhonePage form = phone_.Open(ServiceUrl("/"));
  ASSERT_TRUE(CompiledCleanly(form.fetch)) << gateway_.WapboxLog();
  EXPECT_TRUE(ShowsTheTitle(form));
  phone_.SetVariable("U", kOddMailbox);
  phone_.SetVariable("P", kOddPassword);
  const PhonePage list = phone_.Follow(form, "login");
  EXPECT_EQ(list.url, ServiceUrl("/?U=odd&P=a%26b%20%25c%2Bd%23e%3Df&"));
  ASSERT_TRUE(CompiledCleanly(list.fetch)) << gateway_.WapboxLog();
  const std::vector<std::string> entries = EntryLabels(list);
  ASSERT_GE(entries.size(), 3u) << list.deck.markup;
  EXPECT_EQ(entries[0], calendar_.ListLabel(0));

  // Every page the links lead to logs on again and shows the title as it was set.
  const PhonePage detail = phone_.Follow(list, entries[1]);
  const PhonePage next = phone_.Follow(detail, ">>");
  const PhonePage previous = phone_.Follow(next, "<<");
  const PhonePage again = phone_.Follow(previous, "CAL");
  const PhonePage on = phone_.Follow(list, ">>");
  const PhonePage back = phone_.Follow(on, "<<");
  for (const PhonePage* page : {&list, &detail, &next, &previous, &again, &on, &back}) {
    ASSERT_TRUE(CompiledCleanly(page->fetch)) << page->url << "\n" << gateway_.WapboxLog();
    EXPECT_TRUE(ShowsTheTitle(*page)) << page->url;
  }
  EXPECT_EQ(previous.deck.markup, detail.deck.markup);
  std::vector<std::string> texts = calendar_.DetailTexts(1);
  texts.insert(texts.end(), {"<<", ">>", "CAL"});
  EXPECT_EQ(detail.deck.texts, texts);
  EXPECT_EQ(EntryLabels(again).front(), calendar_.ListLabel(1));
  EXPECT_EQ(EntryLabels(back), entries);

  ASSERT_NO_FATAL_FAILURE(StopService());
  ASSERT_NO_FATAL_FAILURE(ExpectEveryRequestLogged());
  const std::string log = FileText(RequestLogFile());
  EXPECT_THAT(log, Not(HasSubstr("a%26b")));
  EXPECT_EQ(CountOf(Trace(), " Login successful\r\n"), phone_.Requests().size() - 1);
  EXPECT_THAT(Trace(), Not(HasSubstr("Request rejected")));
}

TEST_F(ServiceBehindGateway, ADeckThatDoesNotCompileFailsTheCheck) {
  // The service's deck passes the check ...
  const PhonePage form = phone_.Open(ServiceUrl("/"));
  EXPECT_TRUE(CompiledCleanly(form.fetch)) << gateway_.WapboxLog();

  // ... a broken one through the same gateway and phone does not: the gateway gives up compiling
  // and hands the phone the source text.
  StandInOrigin origin(WmlResponse(ServiceDeck("12:30 PM Lunch <Ann & Bob>")));
  const PhonePage broken = phone_.Open(origin.Url("/?U=demo&P=x"));
  const ::testing::AssertionResult unescaped = CompiledCleanly(broken.fetch);
  EXPECT_FALSE(unescaped);
  EXPECT_THAT(unescaped.message(), HasSubstr("no compiled deck: "));
  EXPECT_THAT(unescaped.message(), HasSubstr("starting \"<?xml"));
  EXPECT_THAT(unescaped.message(), HasSubstr("WML compilation failed"));

  // Nor does one that compiles with the compiler's complaint: a "$" that starts no variable.
  origin.SetResponse(WmlResponse(ServiceDeck("Costs $5")));
  const PhonePage dropped = phone_.Open(origin.Url("/?U=demo&P=y"));
  const ::testing::AssertionResult dollar = CompiledCleanly(dropped.fetch);
  EXPECT_FALSE(dollar);
  EXPECT_THAT(dollar.message(), Not(HasSubstr("no compiled deck")));
  EXPECT_THAT(dollar.message(), HasSubstr("ERROR: WML compiler:"));
  EXPECT_THAT(origin.Requests(), SizeIs(2));
}

}  // namespace
}  // namespace qv::testing
