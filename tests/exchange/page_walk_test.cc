// Walks a mailbox of a few hundred appointments page by page, as a phone does, with the maximum
// message sizes of small, middle and large phones: every page must fit the device, the forward links
// must show every appointment exactly once, and the backward links must lead back to the start.
//
// Going back is approximate by design: the page before is the one that would end with this page's
// first appointment, so with entries of other lengths (a longer subject, an extra day header, more
// digits) it may end an appointment early (a gap) or reach into this page (an overlap). The backward
// walk prints its gaps and overlaps and records them as test properties; it fails only when a step
// does not move back, the walk misses the first page, or it leaves out more appointments than it has
// pages. What a step leaves out, the forward links show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <map>
#include <set>

#include "exchange/calendar_pages.h"
#include "exchange/pages_fixture.h"
#include "exchange/response_envelope.h"
#include "testing/wml_check.h"

namespace qv::testing {
namespace {

constexpr int kAppointments = 300;

// A fixed pseudo-random sequence, so that every run walks the same calendar.
class Sequence {
 public:
  uint32_t Next(uint32_t below) {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 8) % below;
  }

 private:
  uint32_t state_ = 20261208;
};

struct Generated {
  std::string events;
  // Whether the appointment's texts hold a character that grows when it is written into a page.
  std::vector<bool> grows;
};

Generated MakeCalendar(TDateTime today) {
  static const char* const kWords[] = {"Team",     "review", "lunch",   "call",   "with", "Anna",
                                       "budget",   "Q3",     "dentist", "flight", "to",   "Oslo",
                                       "planning", "sprint", "project", "demo",   "1:1",  "customer"};
  static const char* const kGrowing[] = {"R&D", "<draft>", "pay $5", "\"quoted\""};
  Sequence random;
  // Now and then a word that grows when written into a page.
  const auto text_of = [&](uint32_t words) {
    std::string text;
    for (uint32_t w = 0; w < words; ++w) {
      text += w ? " " : "";
      text += random.Next(300) == 0 ? kGrowing[random.Next(4)] : kWords[random.Next(18)];
    }
    return text;
  };
  const auto grows = [](const std::string& text) {
    return text.find_first_of("&<>\"'$") != std::string::npos;
  };
  Generated generated;
  int day = 1;
  double minute = 8 * 60;
  for (int i = 0; i < kAppointments; ++i) {
    if (random.Next(3) == 0) {  // a new day, now and then with a gap
      day += 1 + static_cast<int>(random.Next(2));
      minute = 7 * 60 + random.Next(4) * 30;
    }
    const std::string subject = text_of(random.Next(6));
    const std::string location = random.Next(3) == 0 ? "" : "Room " + std::to_string(random.Next(500));
    const std::string text = text_of(random.Next(120));
    const std::string uid = "walk-" + std::to_string(i);
    if (random.Next(12) == 0) {
      // On a day of its own: it starts at midnight, before the day's other appointments.
      generated.events += IcalAllDayEvent(uid, today + ++day, subject);
      generated.grows.push_back(grows(subject));
      ++day;
      minute = 8 * 60;
    } else {
      const TDateTime start = today + day + minute / 1440;
      generated.events += IcalEvent(uid, start, start + 45 / 1440.0, subject, location, text);
      generated.grows.push_back(grows(subject) || grows(location) || grows(text));
      minute += 15 + random.Next(8) * 15;
    }
  }
  return generated;
}

// The indices a page shows and the positions its links lead to.
struct PageLinks {
  std::vector<int> shown;  // "E=CO" entries of a list page
  std::optional<int> backward, forward;
};

PageLinks ReadListPage(const std::string& body) {
  PageLinks links;
  for (size_t at = body.find("E=C"); at != std::string::npos; at = body.find("E=C", at + 1)) {
    const std::string kind = body.substr(at + 2, 2);
    const size_t digits = at + std::string("E=CO&amp;X=").size();
    size_t end = digits;
    while (end < body.size() && std::isdigit(static_cast<unsigned char>(body[end]))) ++end;
    const int index = std::stoi(body.substr(digits, end - digits));
    const std::string label = body.substr(end + 2, body.find("</a>", end) - end - 2);
    if (kind == "CO") {
      links.shown.push_back(index);
    } else if (label == "&lt;&lt;") {
      links.backward = index;
    } else {
      links.forward = index;
    }
  }
  return links;
}

struct Credentials {
  const char* mailbox;
  const char* password;
};

class PageWalkTest : public PagesTest,
                     public ::testing::WithParamInterface<std::tuple<int32_t, Credentials>> {
 protected:
  void SetUp() override {
    PagesTest::SetUp();
    StartTrace(0);
    store_->AddMailbox(std::get<1>(GetParam()).mailbox, "Walker", kOwnerSid);
    generated_ = MakeCalendar(today_);
    Import(std::get<1>(GetParam()).mailbox, generated_.events);
    session_ = cdo::CreateSession();
    session_->Logon(std::nullopt, std::nullopt, false, true, 0, true,
                    std::string("127.0.0.1\r\n") + std::get<1>(GetParam()).mailbox);
  }

  int32_t MaxPdu() const { return std::get<0>(GetParam()); }

  TWCCalendar Calendar(int position) const {
    const Credentials& credentials = std::get<1>(GetParam());
    return TWCCalendar(session_, credentials.mailbox, credentials.password, std::to_string(position),
                       MaxPdu());
  }
  std::string ListPage(int position) const { return Calendar(position).GetAppointmentList(); }
  std::string DetailPage(int position) const { return Calendar(position).GetAppointment(); }
  static size_t ResponseSize(const std::string& body) {
    return BuildResponse(Config->CharSet, Config->DeckHeader, body).size();
  }

  Generated generated_;
  std::shared_ptr<cdo::Session> session_;
};

TEST_P(PageWalkTest, ForwardLinksShowEveryAppointmentOnceAndEveryPageFits) {
  std::map<int, int> seen;
  int position = 0;
  int pages = 0;
  for (;;) {
    const std::string body = ListPage(position);
    ++pages;
    EXPECT_LE(ResponseSize(body), static_cast<size_t>(MaxPdu())) << "page at " << position << ": " << body;
    const PageLinks links = ReadListPage(body);
    ASSERT_FALSE(links.shown.empty()) << "page at " << position << " shows nothing: " << body;
    EXPECT_EQ(links.shown.front(), position);
    for (const int index : links.shown) ++seen[index];
    EXPECT_EQ(links.backward.has_value(), position > 0) << position;
    if (!links.forward) break;
    ASSERT_EQ(*links.forward, links.shown.back() + 1) << body;
    position = *links.forward;
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kAppointments));
  EXPECT_EQ(seen.begin()->first, 0);
  EXPECT_EQ(seen.rbegin()->first, kAppointments - 1);
  for (const auto& [index, times] : seen) EXPECT_EQ(times, 1) << "appointment " << index;
  std::cout << "MaxPdu " << MaxPdu() << ": " << pages << " list pages forward\n";
}

TEST_P(PageWalkTest, BackwardLinksLeadBackToTheFirstPage) {
  // The last page of the forward walk.
  int position = 0;
  while (const auto forward = ReadListPage(ListPage(position)).forward) position = *forward;
  std::map<int, int> seen;
  int pages = 0, overlapping = 0, overlap = 0, gapped = 0, gap = 0;
  for (;;) {
    const std::string body = ListPage(position);
    ++pages;
    EXPECT_LE(ResponseSize(body), static_cast<size_t>(MaxPdu())) << "page at " << position << ": " << body;
    const PageLinks links = ReadListPage(body);
    for (const int index : links.shown) ++seen[index];
    if (position == 0) break;
    ASSERT_TRUE(links.backward.has_value()) << body;
    const int previous = *links.backward;
    ASSERT_LT(previous, position) << "the backward link does not move back: " << body;
    // What the page before shows, measured against the appointments just before this page.
    const PageLinks before = ReadListPage(ListPage(previous));
    ASSERT_FALSE(before.shown.empty());
    const int last_before = before.shown.back();
    if (last_before >= position) {
      ++overlapping;
      overlap += last_before - position + 1;
    }
    if (last_before < position - 1) {
      ++gapped;
      gap += position - 1 - last_before;
    }
    position = previous;
  }
  int missed = 0;
  for (int index = 0; index < kAppointments; ++index) missed += seen.count(index) ? 0 : 1;
  std::cout << "MaxPdu " << MaxPdu() << ": " << pages << " list pages backward; " << overlapping
            << " steps overlap the page after by " << overlap << " appointments in all, " << gapped
            << " steps leave out " << gap << "; " << missed << " appointments never shown going back\n";
  RecordProperty("backward_pages", pages);
  RecordProperty("backward_overlap", overlap);
  RecordProperty("backward_gap", gap);
  // Every step moved back (asserted above) and the walk ended on the first page. What a step leaves
  // out, the forward links show: the page before is the one that would end with this page's first
  // appointment, so with entries of other lengths it may end a little earlier (or later).
  EXPECT_EQ(seen.count(0), 1u);
  EXPECT_LT(missed, pages);
}

TEST_P(PageWalkTest, EveryDetailPageLinksItsNeighboursAndFitsWhenItsTextsDoNotGrow) {
  int checked = 0;
  for (int index = 0; index < kAppointments; ++index) {
    const std::string body = DetailPage(index);
    EXPECT_EQ(body.find("E=CO&amp;X=" + std::to_string(index - 1) + "\">&lt;&lt;") != std::string::npos,
              index > 0)
        << body;
    EXPECT_EQ(body.find("E=CO&amp;X=" + std::to_string(index + 1) + "\">&gt;&gt;") != std::string::npos,
              index < kAppointments - 1)
        << body;
    EXPECT_TRUE(body.ends_with("E=CA&amp;X=" + std::to_string(index) + "\">CAL</a>")) << body;
    if (!generated_.grows[static_cast<size_t>(index)]) {
      ++checked;
      EXPECT_LE(ResponseSize(body), static_cast<size_t>(MaxPdu())) << "appointment " << index << ": " << body;
    }
  }
  EXPECT_GT(checked, kAppointments / 2);
}

// The compiler takes a while per deck: the decks of one size are checked.
class PageWalkDecksTest : public PageWalkTest {};

TEST_P(PageWalkDecksTest, PagesAlongTheWayPassTheGatewaysCompiler) {
  std::vector<std::string> bodies;
  int position = 0;
  for (int page = 0; page < 4; ++page) {
    bodies.push_back(ListPage(position));
    position = ReadListPage(bodies.back()).forward.value_or(0);
  }
  for (int index = 0, found = 0; index < kAppointments && found < 4; ++index) {
    if (generated_.grows[static_cast<size_t>(index)]) {
      bodies.push_back(DetailPage(index));
      ++found;
    }
  }
  bodies.push_back(DetailPage(kAppointments - 1));
  QV_SKIP_REST_ON_WINDOWS(qv::testing::kGatewayOnLinuxOnly);
  for (const std::string& body : bodies) {
    const WmlCheck check = CheckWmlDeck(BuildDeck(Config->CharSet, Config->DeckHeader, body));
    EXPECT_TRUE(check.accepted) << body;
    EXPECT_TRUE(check.messages.empty()) << body;
  }
}

// Named as "MaxPdu600Plain": the size and whether mailbox and password need escaping in the links.
std::string WalkName(const ::testing::TestParamInfo<std::tuple<int32_t, Credentials>>& test) {
  return "MaxPdu" + std::to_string(std::get<0>(test.param)) +
         (std::string(std::get<1>(test.param).mailbox) == "jdoe" ? "Plain" : "Escaped");
}

INSTANTIATE_TEST_SUITE_P(Devices, PageWalkTest,
                         ::testing::Combine(::testing::Values(600, 1000, 1400),
                                            ::testing::Values(Credentials{"jdoe", "secret"},
                                                              Credentials{"a<b", "p$\""})),
                         WalkName);
INSTANTIATE_TEST_SUITE_P(Devices, PageWalkDecksTest,
                         ::testing::Combine(::testing::Values(1000),
                                            ::testing::Values(Credentials{"jdoe", "secret"},
                                                              Credentials{"a<b", "p$\""})),
                         WalkName);

}  // namespace
}  // namespace qv::testing
