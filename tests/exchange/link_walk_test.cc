// A phone's walk through the pages, from the logon form's link on: every link of every deck is
// followed as written (references resolved, the form's variables filled in and escaped as a browser
// does, the query read back by the request parsing), over a calendar whose texts are full of what
// grows in a deck: "&", "<", ">", '"', "$", euro signs, curly quotes, dashes and the ellipsis. Every
// deck must be well-formed (the gateway's WML compiler accepts it), hold no byte 0x80 to 0x9F under
// its iso-8859-1, and lead on: every list page shows an appointment, its forward link moves on, and
// going forward lists every appointment once. Within the phone's limit must be every page whose
// budget holds one appointment: at 1000 and 1400 bytes with either mailbox, at 600 with the plain
// one. At 600 the escaped mailbox and password (45 bytes in every link) leave the detail page no
// budget even for its time lines, and at 450 no page has any.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "exchange/pages_fixture.h"
#include "exchange/response_envelope.h"
#include "server/request_thread.h"
#include "testing/wml_check.h"
#include "testing/wml_links.h"

namespace qv::testing {
namespace {

constexpr int kAppointments = 40;
constexpr char kGateway[] = "http://127.0.0.1/";

struct Credentials {
  const char* mailbox;
  const char* password;
};
constexpr Credentials kPlain{"walker", "Secret-1"};
constexpr Credentials kEscaped{"O'Hara & Sons", "a&b %c+d#e=f"};

// Texts in UTF-8, as calendar files bring them; the store gives them to the pages in Windows-1252.
const std::vector<std::string> kWords = {"R&D",
                                         "<draft>",
                                         "\"quoted\"",
                                         "pay $5",
                                         "\xE2\x82\xAC"
                                         "20",
                                         "\xE2\x80\x9C"
                                         "curly"
                                         "\xE2\x80\x9D",
                                         "it\xE2\x80\x99s",
                                         "a \xE2\x80\x93 b",
                                         "x \xE2\x80\x94 y",
                                         "wait\xE2\x80\xA6",
                                         "Caf\xC3\xA9",
                                         "5 > 4",
                                         "$(P)",
                                         "&amp;",
                                         "team"};

std::string Word(int i) {
  return kWords[static_cast<size_t>(i) % kWords.size()];
}

std::string WalkCalendar(TDateTime today) {
  std::string events;
  for (int i = 0; i < kAppointments; ++i) {
    const std::string subject = Word(i) + " " + Word(i * 7 + 3) + " " + Word(i * 5 + 1);
    const std::string uid = "walk-" + std::to_string(i);
    const int day = 1 + i / 3;
    if (i % 9 == 4) {
      events += IcalAllDayEvent(uid, today + 60 + i, subject);  // after the timed ones
      continue;
    }
    std::string text;
    for (int w = 0; w < 12 + i % 30; ++w) text += Word(i + w * 3) + " ";
    const TDateTime start = today + day + (8 + (i % 3) * 3) / 24.0;
    events += IcalEvent(uid, start, start + 1 / 24.0, subject, i % 4 == 0 ? "" : "Room " + Word(i * 3), text);
  }
  return events;
}

// The value of a parameter of a URL as the request parsing reads it.
std::string UrlParam(const std::string& url, const std::string& name) {
  return TSrvThread::GetParamValue("GET " + url.substr(url.find('/', 7)) + " HTTP/1.1", name);
}

class LinkWalkTest : public PagesTest,
                     public ::testing::WithParamInterface<std::tuple<int32_t, Credentials>> {
 protected:
  void SetUp() override {
    QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoAccounts);
    PagesTest::SetUp();
    StartTrace(0);
    store_->AddMailbox(Walker().mailbox, "Walker", AddAccount("walker", Walker().password));
    Import(Walker().mailbox, WalkCalendar(today_));
  }

  int32_t MaxPdu() const { return std::get<0>(GetParam()); }
  const Credentials& Walker() const { return std::get<1>(GetParam()); }
  bool HeldToTheLimit() const {
    return MaxPdu() >= 1000 || (MaxPdu() >= 600 && std::string(Walker().mailbox) == kPlain.mailbox);
  }

  // The response to a URL as the gateway forwards it.
  std::string Get(const std::string& url) const {
    const std::string header = "GET " + url.substr(url.find('/', 7)) +
                               " HTTP/1.1\r\nx-up-devcap-max-pdu: " + std::to_string(MaxPdu()) + "\r\n";
    TWCExchange handler(nullptr);
    TSrvThread::SetRequestValues(header, handler);
    return handler.GetResponse();
  }

  // The URL of the logon form's link, the mailbox and password typed in.
  std::string LogonUrl() const {
    const std::string form = Get(kGateway).substr(kResponseHeader.size());
    for (const WmlLink& link : DeckLinks(form)) {
      if (link.label == "login")
        return PhoneUrl(kGateway, link.href, {{"U", Walker().mailbox}, {"P", Walker().password}});
    }
    ADD_FAILURE() << "no login link: " << form;
    return {};
  }
};

TEST_P(LinkWalkTest, EveryLinkLeadsToAWellFormedPageThatLeadsOn) {
  const std::string first = LogonUrl();
  std::map<std::string, std::string> responses;  // by URL
  std::deque<std::string> pending{first};
  std::set<std::string> seen{first};
  while (!pending.empty()) {
    const std::string url = pending.front();
    pending.pop_front();
    const std::string& response = responses[url] = Get(url);
    for (const WmlLink& link : DeckLinks(response.substr(kResponseHeader.size()))) {
      const std::string next = PhoneUrl(url, link.href, {});
      if (seen.insert(next).second) pending.push_back(next);
    }
  }
  // Every appointment has its page and starts a list page (the detail page's "CAL").
  EXPECT_EQ(responses.size(), 2u * kAppointments + 1);

  for (const auto& [url, response] : responses) {
    const std::string deck = response.substr(kResponseHeader.size());
    // Each link logs on again: no page is the error card or the logon form.
    ASSERT_EQ(deck.find("<go href=\"?U="), std::string::npos) << url << "\n" << deck;
    EXPECT_TRUE(std::none_of(deck.begin(), deck.end(), [](char c) { return c >= '\x80' && c <= '\x9f'; }))
        << url << "\n"
        << deck;
    if (HeldToTheLimit()) {
      EXPECT_LE(response.size(), static_cast<size_t>(MaxPdu())) << url << "\n" << deck;
    }
    if (UrlParam(url, "E") == "CO") continue;

    const int position = std::atoi(UrlParam(url, "X").c_str());
    std::vector<int> shown;
    std::optional<int> forward;
    for (const WmlLink& link : DeckLinks(deck)) {
      const int index = std::atoi(UrlParam(PhoneUrl(url, link.href, {}), "X").c_str());
      if (link.label == ">>") forward = index;
      if (link.label != ">>" && link.label != "<<") shown.push_back(index);
    }
    ASSERT_FALSE(shown.empty()) << url << "\n" << deck;
    EXPECT_EQ(shown.front(), position) << url;
    if (forward) {
      EXPECT_EQ(*forward, shown.back() + 1) << url << "\n" << deck;
    }
  }

  // Forward from the first page, every appointment is listed once, in order.
  std::vector<int> listed;
  for (std::string url = first;;) {
    std::optional<std::string> forward;
    for (const WmlLink& link : DeckLinks(responses[url].substr(kResponseHeader.size()))) {
      const std::string target = PhoneUrl(url, link.href, {});
      if (link.label == ">>") forward = target;
      if (link.label != ">>" && link.label != "<<")
        listed.push_back(std::atoi(UrlParam(target, "X").c_str()));
    }
    if (!forward) break;
    url = *forward;
  }
  ASSERT_EQ(listed.size(), static_cast<size_t>(kAppointments));
  for (int i = 0; i < kAppointments; ++i) EXPECT_EQ(listed[static_cast<size_t>(i)], i);

  QV_SKIP_REST_ON_WINDOWS(qv::testing::kGatewayOnLinuxOnly);
  for (const auto& [url, response] : responses) {
    const WmlCheck check = CheckWmlDeck(response.substr(kResponseHeader.size()));
    EXPECT_TRUE(check.accepted) << url << "\n" << response;
  }
}

// Named as "MaxPdu600Plain": the phone's limit and whether mailbox and password need escaping.
std::string WalkName(const ::testing::TestParamInfo<std::tuple<int32_t, Credentials>>& test) {
  return "MaxPdu" + std::to_string(std::get<0>(test.param)) +
         (std::string(std::get<1>(test.param).mailbox) == kPlain.mailbox ? "Plain" : "Escaped");
}

INSTANTIATE_TEST_SUITE_P(Phones, LinkWalkTest,
                         ::testing::Combine(::testing::Values(450, 600, 1000, 1400),
                                            ::testing::Values(kPlain, kEscaped)),
                         WalkName);

}  // namespace
}  // namespace qv::testing
