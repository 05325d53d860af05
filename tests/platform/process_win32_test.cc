// Running programs on Windows: exit codes, arguments quoted so that they arrive as given, a missing
// program, output to a file, and a child waited for with a time limit and ended by its process id.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/last_error.h"
#include "platform/module.h"
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

TEST(ChildProcess, AppendsStandardOutputAndErrorToTheFile) {
  qv::testing::TestStateDir dir;
  const std::string file = dir.File("output.txt");
  uint32_t exit_code = 99;
  for (const char* command : {"echo first", "echo second 1>&2"}) {
    ChildProcess child;
    ASSERT_TRUE(child.Start("cmd", {"/c", command}, file)) << GetLastError();
    ASSERT_TRUE(child.Wait(&exit_code));
    EXPECT_EQ(exit_code, 0u);
  }
  std::string content;
  ASSERT_TRUE(ReadWholeFile(file, &content));
  EXPECT_EQ(content, "first\r\nsecond \r\n");
  // The file was closed here once the child had it: it can be deleted now.
  EXPECT_TRUE(DeleteFile(file)) << GetLastError();
}

// Not a test of its own: the child the next test starts (this program, with this test only) waits
// here until it is ended.
TEST(ChildProcessHelper, WaitsWhenAsked) {
  if (!GetEnvironmentVariable("QV_TEST_CHILD_WAIT")) GTEST_SKIP() << "only run as a child";
  Sleep(60000);
}

TEST(ChildProcess, ATimedWaitLeavesTheChildAndItsIdEndsIt) {
  SetEnvironmentVariable("QV_TEST_CHILD_WAIT", "1");
  ChildProcess child;
  const bool started = child.Start(GetModuleFileName(), {"--gtest_filter=ChildProcessHelper.WaitsWhenAsked"});
  SetEnvironmentVariable("QV_TEST_CHILD_WAIT", std::nullopt);
  ASSERT_TRUE(started) << GetLastError();
  uint32_t exit_code = 99;
  EXPECT_FALSE(child.Wait(&exit_code, 50));
  EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
  ASSERT_NE(child.ProcessId(), 0u);
  EXPECT_TRUE(TerminateProcessById(child.ProcessId(), 3)) << GetLastError();
  ASSERT_TRUE(child.Wait(&exit_code, 20000));
  EXPECT_EQ(exit_code, 3u);
  EXPECT_EQ(child.ProcessId(), 0u);
}

TEST(TerminateProcessById, RefusesAProcessThatIsNotThere) {
  EXPECT_FALSE(TerminateProcessById(0, 1));
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
}

}  // namespace
}  // namespace qv::platform
