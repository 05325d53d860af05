#include "testing/resource_files.h"

#include <gtest/gtest.h>

#include "platform/files/file_system.h"
#include "platform/resources/program_resources.h"
#include "rescomp/version_resource.h"

namespace qv::testing {

std::vector<uint8_t> VersionResource(const std::vector<std::pair<std::string, std::string>>& values,
                                     uint16_t language, uint16_t code_page) {
  return rescomp::BuildVersionResource(rescomp::FixedFileInfo{},
                                       rescomp::StringTableBlocks(language, code_page, values));
}

rescomp::Resource VersionResourceEntry(std::vector<uint8_t> data) {
  return {platform::kResourceTypeVersion, 1, platform::kLanguageEnglishUs, std::move(data)};
}

std::string WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  EXPECT_TRUE(platform::WriteWholeFile(path, std::string(bytes.begin(), bytes.end()))) << path;
  return path;
}

}  // namespace qv::testing
