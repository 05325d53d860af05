// The spacing of a mailbox's password checks after failed logons: on its own with a clock the test
// moves, and in the request handler, where a logon inside the interval is refused without a check.
#include "exchange/logon_throttle.h"

#include <gtest/gtest.h>

#include <string>

#include "e2e/service_decks.h"
#include "exchange/pages_fixture.h"
#include "platform/clock.h"

namespace qv::testing {
namespace {

// A throttle of 3 failures, then 1000 ms doubling up to 4000 ms, on a clock the test moves.
struct ThrottleOnAClock {
  uint32_t now = 0xFFFFF000;  // the tick wraps around during the test
  TLogonThrottle throttle{3, 1000, 4000, [this] { return now; }};

  // Fails the mailbox's checks until one is refused; how many were allowed.
  int FailUntilRefused(const std::string& mailbox) {
    int allowed = 0;
    while (throttle.MayCheck(mailbox)) {
      throttle.Failed(mailbox);
      if (++allowed > 100) break;
    }
    return allowed;
  }
};

TEST(TLogonThrottle, AfterTheFailuresAllowedChecksOncePerIntervalDoublingUpToTheLongest) {
  ThrottleOnAClock clock;
  TLogonThrottle& throttle = clock.throttle;
  EXPECT_EQ(clock.FailUntilRefused("anna"), 3);
  for (const uint32_t interval : {1000u, 2000u, 4000u, 4000u}) {
    clock.now += interval - 1;
    EXPECT_FALSE(throttle.MayCheck("anna")) << interval;
    clock.now += 1;
    EXPECT_TRUE(throttle.MayCheck("anna")) << interval;
    // The interval's one check is taken: a request at the same moment is refused.
    EXPECT_FALSE(throttle.MayCheck("anna")) << interval;
    throttle.Failed("anna");
  }
  // Another mailbox is not affected; the letter case of the name does not matter.
  EXPECT_TRUE(throttle.MayCheck("bert"));
  EXPECT_FALSE(throttle.MayCheck("ANNA"));
  // A success forgets the failures.
  clock.now += 4000;
  ASSERT_TRUE(throttle.MayCheck("Anna"));
  throttle.Succeeded("Anna");
  EXPECT_EQ(clock.FailUntilRefused("anna"), 3);
}

TEST(TLogonThrottle, NoFirstDelayMeansNoSpacingAndNegativeFiguresCountAsZero) {
  uint32_t now = 0;
  TLogonThrottle off(5, 0, 60000, [&now] { return now; });
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(off.MayCheck("anna"));
    off.Failed("anna");
  }
  TLogonThrottle from_the_first(-1, 100, -5, [&now] { return now; });
  from_the_first.Failed("anna");
  EXPECT_FALSE(from_the_first.MayCheck("anna"));
  now += 100;  // the longest interval is never below the first
  EXPECT_TRUE(from_the_first.MayCheck("anna"));
}

TEST(TLogonThrottle, RemembersABoundedNumberOfMailboxesForgettingTheLongestUntried) {
  ThrottleOnAClock clock;
  EXPECT_EQ(clock.FailUntilRefused("target"), 3);
  clock.now += 1;
  for (size_t i = 0; i < TLogonThrottle::kMaxRemembered - 1; ++i)
    clock.throttle.Failed("name" + std::to_string(i));
  EXPECT_FALSE(clock.throttle.MayCheck("target")) << "still remembered at the bound";
  clock.throttle.Failed("one more");
  EXPECT_TRUE(clock.throttle.MayCheck("target")) << "the longest untried goes first";
}

class SpacedLogons : public PagesTest {
 protected:
  void SetUp() override {
    QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoAccounts);
    PagesTest::SetUp();
    store_->AddMailbox("jdoe", "John Doe", AddAccount("jdoe", "secret"));
    slot_.emplace(LogonThrottle, throttle_);
  }

  static constexpr uint32_t kIntervalMs = 300;
  TLogonThrottle throttle_{2, kIntervalMs, kIntervalMs};
  std::optional<ProcessWide<TLogonThrottle>::Installation> slot_;
};

TEST_F(SpacedLogons, InsideTheIntervalEvenTheRightPasswordIsRefusedUncheckedWithEvent122) {
  const std::string error_card =
      "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n" + ServiceDeck(kErrorCardBody);
  EXPECT_EQ(Respond("jdoe", "wrong", "", ""), error_card);
  EXPECT_EQ(Respond("JDOE", "wrong", "", ""), error_card);
  const uint32_t refused_at = platform::GetTickCount();
  EXPECT_EQ(Respond("jdoe", "secret", "", ""), error_card);
  // Names without a mailbox are spaced out alike.
  EXPECT_EQ(Respond("nobody", "x", "", ""), error_card);
  EXPECT_EQ(Respond("nobody", "x", "", ""), error_card);
  EXPECT_EQ(Respond("nobody", "x", "", ""), error_card);
  ASSERT_LT(platform::GetTickCount() - refused_at, kIntervalMs) << "too slow to test inside the interval";
  platform::Sleep(kIntervalMs);
  EXPECT_NE(Respond("jdoe", "secret", "", ""), error_card);
  EXPECT_EQ(ReadAllEvents().size(), 6u);  // every refusal, checked or not
  const std::string trace = StopTrace();
  EXPECT_EQ(CountOf(trace, " Logon not checked, too many failures: jdoe\r\n"), 1u) << trace;
  EXPECT_EQ(CountOf(trace, " Logon not checked, too many failures: nobody\r\n"), 1u) << trace;
}

}  // namespace
}  // namespace qv::testing
