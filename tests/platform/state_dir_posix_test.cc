// The platform state directory's defaults on Linux: /var/lib/quorvane for root, else below
// XDG_STATE_HOME or HOME.
#include <gtest/gtest.h>

#include "platform/files/state_dir.h"
#include "platform/process/environment.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

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

}  // namespace
}  // namespace qv::platform
