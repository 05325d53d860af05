// The platform state directory: QUORVANE_STATE_DIR names it; unset or empty, the system's default
// place does (state_dir_posix_test.cc and state_dir_win32_test.cc check where that is).
#include "platform/files/state_dir.h"

#include <gtest/gtest.h>

#include "platform/process/environment.h"
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

}  // namespace
}  // namespace qv::platform
