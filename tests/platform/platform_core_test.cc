#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "platform/text/ascii_text.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

TEST(LastError, IsKeptPerThread) {
  // The threads take turns by busy waiting: any system call (starting or joining a thread included)
  // may leave a last error of its own on Windows.
  std::atomic<int> turn{0};
  uint32_t seen_by_other = 99;
  std::thread other([&] {
    seen_by_other = GetLastError();
    SetLastError(ERROR_FILE_NOT_FOUND);
    turn = 1;
    while (turn != 2) {
    }
    seen_by_other = GetLastError();
  });
  SetLastError(ERROR_ACCESS_DENIED);
  while (turn != 1) {
  }
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SetLastError(ERROR_BUSY);
  turn = 2;
  other.join();
  EXPECT_EQ(seen_by_other, ERROR_FILE_NOT_FOUND);
}

TEST(FileSystem, FailuresSetTheMatchingWindowsError) {
  qv::testing::TestStateDir dir;
  std::string content;
  EXPECT_FALSE(ReadWholeFile(dir.File("missing"), &content));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CreateDirectory(dir.File("a/b")));
  // Windows says the path is missing; the POSIX ENOENT reads as a missing file.
  EXPECT_TRUE(GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_FILE_NOT_FOUND)
      << GetLastError();
  EXPECT_TRUE(CreateDirectory(dir.File("a")));
  EXPECT_FALSE(CreateDirectory(dir.File("a")));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(ForceDirectories(dir.File("x/y/z")));
  EXPECT_TRUE(DirectoryExists(dir.File("x/y/z")));
  EXPECT_TRUE(WriteWholeFile(dir.File("x/y/z/f"), "abc"));
  EXPECT_TRUE(FileExists(dir.File("x/y/z/f")));
  EXPECT_FALSE(FileExists(dir.File("x/y/z")));
  ASSERT_TRUE(ReadWholeFile(dir.File("x/y/z/f"), &content));
  EXPECT_EQ(content, "abc");
  EXPECT_TRUE(DeleteTree(dir.File("x")));
  EXPECT_FALSE(DirectoryExists(dir.File("x")));
}

TEST(StateDirectory, FollowsTheEnvironment) {
  qv::testing::TestStateDir dir;
  EXPECT_EQ(PlatformStateDirectory(), dir.Path());
  const std::string nested = dir.File("nested");
  SetEnvironmentVariable("QUORVANE_STATE_DIR", nested + PathDelimiter());
  EXPECT_EQ(PlatformStateDirectory(), nested);
  EXPECT_EQ(PlatformStateFile("hive.db"), nested + PathDelimiter() + "hive.db");
  EXPECT_TRUE(DirectoryExists(nested));
}

TEST(Environment, TellsAnEmptyValueFromNone) {
  const char* const name = "QV_TEST_ENVIRONMENT_VALUE";
  SetEnvironmentVariable(name, "some value");
  EXPECT_EQ(GetEnvironmentVariable(name), "some value");
  SetEnvironmentVariable(name, "");
  EXPECT_EQ(GetEnvironmentVariable(name), "");
  SetEnvironmentVariable(name, std::nullopt);
  EXPECT_EQ(GetEnvironmentVariable(name), std::nullopt);
  SetEnvironmentVariable(name, "");
  EXPECT_EQ(GetEnvironmentVariable(name), "");
  SetEnvironmentVariable(name, std::nullopt);
}

TEST(Module, KnowsItsOwnFile) {
  const std::string path = GetModuleFileName();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(FileExists(path));
  // A full path: found from any working directory.
  const std::string previous = GetCurrentDirectory();
  qv::testing::TestStateDir elsewhere;
  ASSERT_TRUE(SetCurrentDirectory(elsewhere.Path()));
  EXPECT_TRUE(FileExists(path));
  ASSERT_TRUE(SetCurrentDirectory(previous));
  EXPECT_NE(path.find("test_platform"), std::string::npos);
}

TEST(Module, ProgramFilesEndInThePlatformsSuffix) {
  const std::string suffix = ProgramFileSuffix();
  const std::string path = GetModuleFileName();
  ASSERT_GE(path.size(), suffix.size());
  EXPECT_EQ(path.substr(path.size() - suffix.size()), suffix);
}

TEST(Clock, TickAdvancesWithSleep) {
  const uint32_t start = GetTickCount();
  Sleep(30);
  const uint32_t elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 30u - 16u);  // Windows' tick moves in steps of up to 16 ms
  EXPECT_LT(elapsed, 5000u);
}

TEST(Clock, LocalTimeRoundTripsThroughUnixSeconds) {
  const int64_t seconds = 1700000000;
  EXPECT_EQ(UnixSecondsFromLocalTime(LocalTimeFromUnixSeconds(seconds)), seconds);
}

TEST(AsciiText, ChangesOnlyTheAsciiLettersAndReadsHexDigitsOfEitherCase) {
  EXPECT_EQ(AsciiLowerCase("GET /?U=Ab-Z\xC9\xE9"), "get /?u=ab-z\xC9\xE9");
  EXPECT_EQ(AsciiUpperCase("tzid=Europe/Berlin \xE9"), "TZID=EUROPE/BERLIN \xE9");
  int digits = 0;
  for (int code = 0; code < 256; ++code) {
    const int value = HexDigitValue(static_cast<char>(code));
    if (value < 0) continue;
    ++digits;
    EXPECT_EQ("0123456789abcdef"[value], AsciiLower(static_cast<char>(code)));
  }
  EXPECT_EQ(digits, 22);
}

}  // namespace
}  // namespace qv::platform
