// Running programs on Linux: a child ended by a signal.
#include <gtest/gtest.h>

#include "platform/errors/last_error.h"
#include "platform/process/process.h"

namespace qv::platform {
namespace {

TEST(RunProgram, AChildEndedByASignalGivesOneHundredTwentyEightPlusItsNumber) {
  uint32_t exit_code = 99;
  ASSERT_TRUE(RunProgram("sh", {"-c", "kill -TERM $$"}, &exit_code)) << GetLastError();
  EXPECT_EQ(exit_code, 128u + 15u);
}

}  // namespace
}  // namespace qv::platform
