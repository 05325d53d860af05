// The version information of our own (ELF) program files, which carry it in a resource section.
#include "support/version_info.h"

#include <gtest/gtest.h>

#include "rescomp/image_writer.h"
#include "rescomp/version_resource.h"
#include "testing/resource_files.h"
#include "testing/test_state_dir.h"

namespace qv {
namespace {

TEST(TVersionInfo, OurElfFilesAreReadLikeWindowsOnes) {
  testing::TestStateDir dir;
  const std::vector<uint8_t> section = rescomp::BuildResourceSection(
      {testing::VersionResourceEntry(
          testing::VersionResource({{"ProductName", "Stand-in"}, {"FileVersion", "5.5.1.2"}}))},
      0);
  const TVersionInfo info(testing::WriteBytes(dir.File("store"), rescomp::BuildElfImage(section)));
  EXPECT_EQ(info.GetItem(7), "Stand-in");
  EXPECT_EQ(info.Build(), 2);
}

}  // namespace
}  // namespace qv
