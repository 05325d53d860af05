// Running programs: exit codes, a missing program, arguments that arrive as given, output to a file,
// and a child waited for with a time limit and ended by its process id. Commands go through the
// system's command interpreter: sh on Linux, cmd on Windows.
#include "platform/process/process.h"

#include <gtest/gtest.h>

#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/host_system.h"
#include "platform/process/module.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

// The interpreter and its arguments that run one command line.
struct Command {
  std::string program;
  std::vector<std::string> arguments;
};

Command Interpreted(const std::string& line) {
  if (RunsOnWindows()) return {"cmd", {"/c", line}};
  return {"sh", {"-c", line}};
}

// What the interpreter's echo ends its line with.
std::string EchoLineEnd() {
  return RunsOnWindows() ? "\r\n" : "\n";
}

TEST(RunProgram, ReportsExitCodesAndMissingPrograms) {
  uint32_t exit_code = 99;
  const Command exit_seven = Interpreted("exit 7");
  ASSERT_TRUE(RunProgram(exit_seven.program, exit_seven.arguments, &exit_code)) << GetLastError();
  EXPECT_EQ(exit_code, 7u);
  EXPECT_FALSE(RunProgram("qv-no-such-program", {}, &exit_code));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(RunProgram, ArgumentsArriveAsTheyWereGiven) {
  qv::testing::TestStateDir dir;
  // The interpreter echoes an argument holding a blank into a file; had it arrived as two
  // arguments, the command would be cut at the blank.
  const std::string file = dir.File("out.txt");
  uint32_t exit_code = 99;
  const Command echo = Interpreted("echo two words> " + file);
  ASSERT_TRUE(RunProgram(echo.program, echo.arguments, &exit_code)) << GetLastError();
  EXPECT_EQ(exit_code, 0u);
  std::string content;
  ASSERT_TRUE(ReadWholeFile(file, &content));
  EXPECT_EQ(content, "two words" + EchoLineEnd());
}

TEST(ChildProcess, AppendsStandardOutputAndErrorToTheFile) {
  qv::testing::TestStateDir dir;
  const std::string file = dir.File("output.txt");
  uint32_t exit_code = 99;
  for (const char* line : {"echo first", "echo second>&2"}) {
    ChildProcess child;
    const Command command = Interpreted(line);
    ASSERT_TRUE(child.Start(command.program, command.arguments, file)) << GetLastError();
    ASSERT_TRUE(child.Wait(&exit_code));
    EXPECT_EQ(exit_code, 0u);
  }
  std::string content;
  ASSERT_TRUE(ReadWholeFile(file, &content));
  EXPECT_EQ(content, "first" + EchoLineEnd() + "second" + EchoLineEnd());
  // This process holds the file no longer: it can be deleted now.
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
  // Windows gives the child the exit code asked for; Linux kills it, so it ends by SIGKILL (9).
  EXPECT_EQ(exit_code, RunsOnWindows() ? 3u : 128u + 9u);
  EXPECT_EQ(child.ProcessId(), 0u);
}

TEST(TerminateProcessById, RefusesAProcessThatIsNotThere) {
  EXPECT_FALSE(TerminateProcessById(0, 1));
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
}

}  // namespace
}  // namespace qv::platform
