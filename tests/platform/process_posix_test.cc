// Running programs on Linux: exit codes, and a child ended by a signal.
#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/win_error.h"

namespace qv::platform {
namespace {

TEST(RunProgram, ReportsExitCodesAndMissingPrograms) {
  uint32_t exit_code = 99;
  ASSERT_TRUE(RunProgram("sh", {"-c", "exit 7"}, &exit_code)) << GetLastError();
  EXPECT_EQ(exit_code, 7u);
  ASSERT_TRUE(RunProgram("sh", {"-c", "kill -TERM $$"}, &exit_code));
  EXPECT_EQ(exit_code, 128u + 15u);
  EXPECT_FALSE(RunProgram("qv-no-such-program", {}, &exit_code));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace qv::platform
