// The platform state directory: QUORVANE_STATE_DIR names it; unset or empty, the system's default
// place does (state_dir_posix_test.cc and state_dir_win32_test.cc check where that is). It is made
// when a file of it is asked for, and a directory that cannot be made says where and why.
#include "platform/files/state_dir.h"

#include <gtest/gtest.h>

#include "platform/errors/exception.h"
#include "platform/errors/system_error.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

TEST(StateDirectory, TheVariableNamesItAndAnEmptyOneCountsAsNotSet) {
  qv::testing::TestStateDir dir;
  EXPECT_EQ(PlatformStateDirectory(), dir.Path());
  SetEnvironmentVariable("QUORVANE_STATE_DIR", std::nullopt);
  const std::string by_default = PlatformStateDirectory();
  EXPECT_NE(by_default, dir.Path());
  SetEnvironmentVariable("QUORVANE_STATE_DIR", "");
  EXPECT_EQ(PlatformStateDirectory(), by_default);
}

TEST(StateDirectory, IsMadeForItsFilesOrNamesWhereAndWhyItCannotBe) {
  qv::testing::TestStateDir dir;
  const std::string nested = dir.File("below") + PathDelimiter() + "state";
  SetEnvironmentVariable("QUORVANE_STATE_DIR", nested);
  EXPECT_EQ(PlatformStateFile("registry.db"), nested + PathDelimiter() + "registry.db");
  EXPECT_TRUE(DirectoryExists(nested));

  // Below a plain file no directory can be made.
  ASSERT_TRUE(WriteWholeFile(dir.File("plain"), "x"));
  const std::string blocked = dir.File("plain") + PathDelimiter() + "state";
  SetEnvironmentVariable("QUORVANE_STATE_DIR", blocked);
  try {
    EnsurePlatformStateDirectory();
    ADD_FAILURE() << "no exception for " << blocked;
  } catch (const EWin32Error& error) {
    EXPECT_NE(error.ErrorCode, ERROR_SUCCESS);
    EXPECT_EQ(error.Message(),
              "Cannot create the state directory \"" + blocked + "\": " + SystemErrorText(error.ErrorCode));
  }
  EXPECT_FALSE(DirectoryExists(blocked));
}

}  // namespace
}  // namespace qv::platform
