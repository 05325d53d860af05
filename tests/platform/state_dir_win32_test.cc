// The platform state directory's default on Windows: Quorvane in the machine's program data folder.
#include <gtest/gtest.h>

#include "platform/files/state_dir.h"
#include "platform/process/environment.h"
#include "platform/text/text_compare.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

TEST(StateDirectory, DefaultsToTheProgramDataFolder) {
  qv::testing::TestStateDir dir;
  SetEnvironmentVariable("QUORVANE_STATE_DIR", std::nullopt);
  const auto program_data = GetEnvironmentVariable("ProgramData");
  ASSERT_TRUE(program_data);
  EXPECT_EQ(CompareTextIgnoreCase(PlatformStateDirectory(), *program_data + "\\Quorvane"), 0)
      << PlatformStateDirectory();
}

}  // namespace
}  // namespace qv::platform
