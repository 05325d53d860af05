// The spacing of a mailbox's password checks after failed logons, on a clock the test moves. The
// request handler's refusals inside the interval are shown by the hostile-client fault suite.
#include "exchange/logon_throttle.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace qv::testing
