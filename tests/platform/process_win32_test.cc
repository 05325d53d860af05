// Running programs on Windows: exit codes, arguments quoted so that they arrive as given, and a
// missing program.
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/win_error.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

TEST(RunProgram, ReportsExitCodesAndMissingPrograms) {
  uint32_t exit_code = 99;
  ASSERT_TRUE(RunProgram("cmd", {"/c", "exit 7"}, &exit_code)) << GetLastError();
  EXPECT_EQ(exit_code, 7u);
  EXPECT_FALSE(RunProgram("qv-no-such-program", {}, &exit_code));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(RunProgram, ArgumentsArriveAsTheyWereGiven) {
  qv::testing::TestStateDir dir;
  // The program itself writes its arguments back: this test program, asked for no test, with
  // arguments gtest does not know would fail; so cmd echoes a quoted argument into a file instead.
  const std::string file = dir.File("out.txt");
  uint32_t exit_code = 99;
  ASSERT_TRUE(RunProgram("cmd", {"/c", "echo two words> " + file}, &exit_code)) << GetLastError();
  EXPECT_EQ(exit_code, 0u);
  std::string content;
  ASSERT_TRUE(ReadWholeFile(file, &content));
  EXPECT_EQ(content, "two words\r\n");
}

TEST(TerminateProcessById, RefusesAProcessThatIsNotThere) {
  EXPECT_FALSE(TerminateProcessById(0, 1));
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
}

}  // namespace
}  // namespace qv::platform
