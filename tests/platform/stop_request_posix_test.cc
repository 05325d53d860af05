// A stop request (here SIGTERM and SIGINT raised by the process itself) ends the wait instead of the
// process; once the StopRequest is gone the requests end the process again, but none that came while
// it lived.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "platform/process/stop_request.h"

namespace qv::platform {
namespace {

TEST(StopRequest, ARequestEndsTheWaitAndNotTheProcess) {
  StopRequest stop;
  ASSERT_EQ(std::raise(SIGTERM), 0);
  stop.Wait();
  ASSERT_EQ(std::raise(SIGINT), 0);
  stop.Wait();
}

TEST(StopRequestDeathTest, AfterwardsARequestEndsTheProcessAgainButNoneThatWasLeftPending) {
  EXPECT_EXIT(
      {
        {
          StopRequest stop;
          std::raise(SIGHUP);
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        { StopRequest stop; }
        std::raise(SIGTERM);
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
}  // namespace qv::platform
