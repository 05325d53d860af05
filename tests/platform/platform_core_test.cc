#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/last_error.h"
#include "platform/module.h"
#include "platform/state_dir.h"
#include "platform/win_error.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

TEST(LastError, IsKeptPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  uint32_t seen_by_other = 99;
  std::thread other([&] {
    seen_by_other = GetLastError();
    SetLastError(ERROR_FILE_NOT_FOUND);
  });
  other.join();
  EXPECT_EQ(seen_by_other, 0u);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(FileSystem, FailuresSetTheMatchingWindowsError) {
  qv::testing::TestStateDir dir;
  std::string content;
  EXPECT_FALSE(ReadWholeFile(dir.File("missing"), &content));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CreateDirectory(dir.File("a/b")));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
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
  SetEnvironmentVariable("QUORVANE_STATE_DIR", dir.Path() + "/nested/");
  EXPECT_EQ(PlatformStateDirectory(), dir.Path() + "/nested");
  EXPECT_EQ(PlatformStateFile("hive.db"), dir.Path() + "/nested/hive.db");
  EXPECT_TRUE(DirectoryExists(dir.Path() + "/nested"));
}

TEST(StateDirectory, DefaultsWithoutTheOverride) {
  qv::testing::TestStateDir dir;
  SetEnvironmentVariable("QUORVANE_STATE_DIR", std::nullopt);
  SetEnvironmentVariable("XDG_STATE_HOME", dir.Path() + "/xdg");
  const std::string with_xdg = PlatformStateDirectory();
  SetEnvironmentVariable("XDG_STATE_HOME", std::nullopt);
  SetEnvironmentVariable("HOME", dir.Path() + "/home");
  const std::string with_home = PlatformStateDirectory();
  if (with_xdg == "/var/lib/quorvane") {  // running as root
    EXPECT_EQ(with_home, "/var/lib/quorvane");
  } else {
    EXPECT_EQ(with_xdg, dir.Path() + "/xdg/quorvane");
    EXPECT_EQ(with_home, dir.Path() + "/home/.local/state/quorvane");
  }
}

TEST(Module, KnowsItsOwnFile) {
  const std::string path = GetModuleFileName();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], '/');
  EXPECT_TRUE(FileExists(path));
  EXPECT_NE(path.find("test_platform"), std::string::npos);
}

TEST(Clock, TickAdvancesWithSleep) {
  const uint32_t start = GetTickCount();
  Sleep(30);
  const uint32_t elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 30u);
}

TEST(Clock, LocalTimeRoundTripsThroughUnixSeconds) {
  const int64_t seconds = 1700000000;
  EXPECT_EQ(UnixSecondsFromLocalTime(LocalTimeFromUnixSeconds(seconds)), seconds);
}

}  // namespace
}  // namespace qv::platform
