#include "platform/resources/file_version.h"

#include <gtest/gtest.h>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/resources/program_resources.h"
#include "platform/resources/resource_format.h"
#include "rescomp/image_writer.h"
#include "rescomp/version_resource.h"
#include "testing/platform_checks.h"
#include "testing/resource_files.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

const std::vector<std::pair<std::string, std::string>> kValues = {{"CompanyName", "HOLLBERG"},
                                                                  {"FileVersion", "5.5.2653.23"},
                                                                  {"Comments", "Caf\xE9 \x80 \x9F"},
                                                                  {"Empty", ""}};

std::string Query(std::span<const uint8_t> block, const std::string& path) {
  std::string value;
  return VerQueryValue(block, path, &value) ? value : "<none>";
}

TEST(VerQueryValue, FindsFixedInfoTranslationAndStrings) {
  const std::vector<uint8_t> block = testing::VersionResource(kValues, 0x0409, 0x04E4);
  const std::string fixed = Query(block, "\\");
  ASSERT_EQ(fixed.size(), resource_format::kFixedFileInfoSize);
  EXPECT_EQ(fixed.substr(0, 4), std::string("\xBD\x04\xEF\xFE", 4));
  EXPECT_EQ(Query(block, "\\VarFileInfo\\Translation"), std::string("\x09\x04\xE4\x04", 4));
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\CompanyName"), std::string("HOLLBERG\0", 9));
  EXPECT_EQ(Query(block, "\\stringfileinfo\\040904e4\\COMPANYNAME"), std::string("HOLLBERG\0", 9));
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\Comments"), std::string("Caf\xE9 \x80 \x9F\0", 9));
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\Empty"), std::string("\0", 1));
}

TEST(VerQueryValue, MissingPathsAreNotFound) {
  const std::vector<uint8_t> block = testing::VersionResource(kValues);
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\ProductName"), "<none>");
  EXPECT_EQ(Query(block, "\\StringFileInfo\\04070000\\CompanyName"), "<none>");
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\CompanyName\\More"), "<none>");
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\Company"), "<none>");
  EXPECT_EQ(Query({}, "\\"), "<none>");
}

// Every 16-bit field of the block set to lies, every path asked: the answers stay inside the block
// (the sanitizer builds catch any read outside it) and the walk always ends.
TEST(VerQueryValue, LyingLengthsNeverReadOutsideTheBlock) {
  const std::vector<uint8_t> original = testing::VersionResource(kValues);
  const char* paths[] = {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\CompanyName",
                         "\\StringFileInfo\\040904E4\\Empty", "\\StringFileInfo\\040904E4\\Missing"};
  size_t answers = 0;
  for (size_t at = 0; at + 1 < original.size(); at += 2) {
    for (const uint16_t lie : {0x0000, 0x0001, 0x0006, 0x7FFF, 0xFFFF}) {
      std::vector<uint8_t> block = original;
      block[at] = static_cast<uint8_t>(lie);
      block[at + 1] = static_cast<uint8_t>(lie >> 8);
      for (const char* path : paths) {
        std::string value;
        if (VerQueryValue(block, path, &value)) {
          EXPECT_LE(value.size(), block.size());
          ++answers;
        }
      }
    }
  }
  EXPECT_GT(answers, 0u);  // most lies leave other paths readable
}

TEST(VerQueryValue, AValueLongerThanItsNodeIsCutAtTheNode) {
  rescomp::VersionNode text = rescomp::VersionNode::Text("Key", "abc");
  text.value_length = 200;  // characters, far beyond the node
  const std::vector<uint8_t> block =
      rescomp::BuildVersionResource({}, {rescomp::VersionNode::Block("StringFileInfo", {text})});
  EXPECT_EQ(Query(block, "\\StringFileInfo\\Key"), std::string("abc\0", 4));
}

TEST(FileVersionInfo, SizeAndCopyOfAFilesVersionResource) {
  testing::TestStateDir dir;
  const std::vector<uint8_t> resource = testing::VersionResource(kValues);
  const std::string path = testing::WriteBytes(
      dir.File("program.dll"), rescomp::BuildPeImage({testing::VersionResourceEntry(resource)}));
  ASSERT_EQ(GetFileVersionInfoSize(path), resource.size());
  std::vector<uint8_t> copy(resource.size());
  ASSERT_TRUE(GetFileVersionInfo(path, copy));
  EXPECT_EQ(copy, resource);
  std::vector<uint8_t> part(10, 0xAA);
  ASSERT_TRUE(GetFileVersionInfo(path, part));
  EXPECT_EQ(part, std::vector<uint8_t>(resource.begin(), resource.begin() + 10));
}

TEST(FileVersionInfo, NoVersionResourceGivesSizeZero) {
  testing::TestStateDir dir;
  const std::string no_version =
      testing::WriteBytes(dir.File("messages.dll"),
                          rescomp::BuildPeImage({{kResourceTypeMessageTable, 1, 0x0409, {0, 0, 0, 0}}}));
  EXPECT_EQ(GetFileVersionInfoSize(no_version), 0u);
  if (!testing::SkipUnderWine("the error code of a file without version resource (Wine gives 1812)")) {
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  }
  EXPECT_EQ(GetFileVersionInfoSize(dir.File("missing.dll")), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  std::vector<uint8_t> data(4);
  EXPECT_FALSE(GetFileVersionInfo(no_version, data));
}

}  // namespace
}  // namespace qv::platform
