#include "testing/system_locale.h"

#include <gtest/gtest.h>

#include "platform/errors/last_error.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/host_system.h"
#include "platform/process/process.h"

namespace qv::testing {

std::string SystemLocale(const TestStateDir& dir, const std::string& source, const std::string& charmap) {
  const std::string name = source + "." + charmap;
  if (platform::RunsOnWindows()) return name;
  EXPECT_TRUE(platform::ForceDirectories(dir.File("locales")));
  uint32_t exit_code = 0;
  EXPECT_TRUE(platform::RunProgram("localedef", {"-i", source, "-f", charmap, dir.File("locales/" + name)},
                                   &exit_code))
      << "localedef cannot be started (Debian package locales), last error " << platform::GetLastError();
  EXPECT_EQ(exit_code, 0u) << "localedef failed for " << name;
  platform::SetEnvironmentVariable("LOCPATH", dir.File("locales"));
  return name;
}

}  // namespace qv::testing
