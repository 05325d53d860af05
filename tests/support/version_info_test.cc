#include "support/version_info.h"

#include <gtest/gtest.h>

#include "platform/errors/exception.h"
#include "rescomp/image_writer.h"
#include "rescomp/version_resource.h"
#include "testing/resource_files.h"
#include "testing/test_state_dir.h"

namespace qv {
namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

class TVersionInfoTest : public ::testing::Test {
 protected:
  // A Windows program file whose version resource holds the values in one string table.
  std::string PeFile(const Values& values, uint16_t language = 0x0409, uint16_t code_page = 0x04E4) {
    return FileWith(testing::VersionResource(values, language, code_page));
  }
  std::string FileWith(std::vector<uint8_t> resource) {
    return testing::WriteBytes(dir_.File("file" + std::to_string(++files_) + ".exe"),
                               rescomp::BuildPeImage({testing::VersionResourceEntry(std::move(resource))}));
  }
  testing::TestStateDir dir_;
  int files_ = 0;
};

TEST_F(TVersionInfoTest, ReadsTheFirstTranslationsValuesAndFileVersion) {
  const TVersionInfo info(PeFile({{"CompanyName", "Microsoft Corporation"},
                                  {"FileDescription", "Microsoft Exchange Information Store"},
                                  {"FileVersion", "5.5.2653.23"},
                                  {"ProductVersion", "5.5"},
                                  {"Comments", "Service Pack 4"},
                                  {"SpecialBuild", "none"}}));
  EXPECT_EQ(info.KeyPrefix(), "\\StringFileInfo\\040904E4\\");
  EXPECT_EQ(info.GetItem(0), "Microsoft Corporation");
  EXPECT_EQ(info.GetItem(1), "Microsoft Exchange Information Store");
  EXPECT_EQ(info.FileVersion(), "5.5.2653.23");
  EXPECT_EQ(info.ProductVersion(), "5.5");
  EXPECT_EQ(info.Comments(), "Service Pack 4");
  EXPECT_EQ(info.GetItem(3), "");  // InternalName is not there
  EXPECT_EQ(info.GetValue("SpecialBuild"), "none");
  EXPECT_EQ(info.GetValue("PrivateBuild"), "");
  EXPECT_EQ(info.MajorVersion(), 5);
  EXPECT_EQ(info.MinorVersion(), 5);
  EXPECT_EQ(info.Release(), 2653);
  EXPECT_EQ(info.Build(), 23);
  EXPECT_FALSE(info.VersionData().empty());
  EXPECT_THROW(info.GetItem(10), ERangeError);
  EXPECT_THROW(info.GetItem(-1), ERangeError);
}

TEST_F(TVersionInfoTest, OnlyTheFirstTranslationCounts) {
  rescomp::VersionNode german =
      rescomp::VersionNode::Block("04070000", {rescomp::VersionNode::Text("CompanyName", "Firma")});
  rescomp::VersionNode english =
      rescomp::VersionNode::Block("040904B0", {rescomp::VersionNode::Text("CompanyName", "Company")});
  const std::vector<uint8_t> translations = {0x07, 0x04, 0x00, 0x00, 0x09, 0x04, 0xB0, 0x04};
  const TVersionInfo info(FileWith(rescomp::BuildVersionResource(
      {}, {rescomp::VersionNode::Block("StringFileInfo", {english, german}),
           rescomp::VersionNode::Block("VarFileInfo",
                                       {rescomp::VersionNode::Binary("Translation", translations)})})));
  EXPECT_EQ(info.KeyPrefix(), "\\StringFileInfo\\04070000\\");
  EXPECT_EQ(info.GetItem(0), "Firma");
}

TEST_F(TVersionInfoTest, FileVersionPartsAreTakenOnlyBeforeADot) {
  struct Case {
    const char* text;
    uint16_t major, minor, release, build;
  };
  for (const Case& c : {Case{"5", 0, 0, 0, 0}, Case{"1.2", 1, 0, 0, 0}, Case{"6.0.4417.0", 6, 0, 4417, 0},
                        Case{"1.2.3", 1, 2, 0, 0}, Case{"1.2.3.", 1, 2, 3, 0},
                        Case{" 7. 8. 9. 10", 7, 8, 9, 10}, Case{"70000.1", 70000 % 65536, 0, 0, 0}}) {
    const TVersionInfo info(PeFile({{"FileVersion", c.text}}));
    EXPECT_EQ(info.MajorVersion(), c.major) << c.text;
    EXPECT_EQ(info.MinorVersion(), c.minor) << c.text;
    EXPECT_EQ(info.Release(), c.release) << c.text;
    EXPECT_EQ(info.Build(), c.build) << c.text;
  }
}

TEST_F(TVersionInfoTest, APartThatIsNoNumberFailsTheConstructor) {
  const std::string build_comment = PeFile({{"FileVersion", "6.0.4417.0 (srv03_rtm.030324-2048)"}});
  try {
    TVersionInfo info(build_comment);
    FAIL() << "no error";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(), "'0 (srv03_rtm.030324-2048)' is not a valid integer value");
  }
  EXPECT_THROW(TVersionInfo(PeFile({{"FileVersion", "5.x.1.1"}})), EConvertError);
  EXPECT_THROW(TVersionInfo(PeFile({{"FileVersion", ".5"}})), EConvertError);
}

TEST_F(TVersionInfoTest, NoFileNoResourceOrNoTranslationLeavesEverythingEmpty) {
  const std::string no_translation = FileWith(rescomp::BuildVersionResource(
      {}, {rescomp::VersionNode::Block(
              "StringFileInfo", {rescomp::VersionNode::Block(
                                    "040904E4", {rescomp::VersionNode::Text("FileVersion", "1.2.3.4")})})}));
  const std::string short_translation = FileWith(rescomp::BuildVersionResource(
      {}, {rescomp::VersionNode::Block("VarFileInfo",
                                       {rescomp::VersionNode::Binary("Translation", {0x09, 0x04})})}));
  const std::string no_resource = testing::WriteBytes(dir_.File("none.exe"), rescomp::BuildPeImage({}));
  for (const std::string& path : {dir_.File("missing.exe"), no_resource, no_translation, short_translation}) {
    const TVersionInfo info(path);
    EXPECT_EQ(info.KeyPrefix(), "") << path;
    for (int i = 0; i < TVersionInfo::kValueCount; ++i) EXPECT_EQ(info.GetItem(i), "") << path;
    EXPECT_EQ(info.MajorVersion() + info.MinorVersion() + info.Release() + info.Build(), 0) << path;
  }
  EXPECT_TRUE(TVersionInfo(dir_.File("missing.exe")).VersionData().empty());
  EXPECT_FALSE(TVersionInfo(no_translation).VersionData().empty());
}

TEST(TVersionInfo, FromVersionDataReadsAResourceInMemory) {
  const TVersionInfo info =
      TVersionInfo::FromVersionData(testing::VersionResource({{"FileVersion", "1.2.3.4"}}, 0x0407, 0x04B0));
  EXPECT_EQ(info.KeyPrefix(), "\\StringFileInfo\\040704B0\\");
  EXPECT_EQ(info.Release(), 3);
  EXPECT_EQ(TVersionInfo::FromVersionData({1, 2, 3}).GetItem(2), "");
  EXPECT_THROW(TVersionInfo::FromVersionData(testing::VersionResource({{"FileVersion", "1.2.3.4b"}})),
               EConvertError);
}

TEST(TVersionInfo, AnEmptyPathReadsTheRunningProgram) {
  const TVersionInfo info;
  EXPECT_EQ(info.KeyPrefix(), "\\StringFileInfo\\040904E4\\");
  EXPECT_EQ(info.GetItem(0), "HOLLBERG");
  EXPECT_EQ(info.GetItem(7), "Quorvane");
  EXPECT_EQ(info.ProductVersion(), QV_VERSION_TEXT);
  EXPECT_EQ(info.FileVersion().rfind(std::string(QV_VERSION_TEXT) + ".", 0), 0u) << info.FileVersion();
  const std::string expected = std::to_string(info.MajorVersion()) + "." +
                               std::to_string(info.MinorVersion()) + "." + std::to_string(info.Release());
  EXPECT_EQ(expected, QV_VERSION_TEXT);
  EXPECT_EQ(info.GetItem(1), "Quorvane test program");
  EXPECT_EQ(info.GetItem(3), "test_support");
}

}  // namespace
}  // namespace qv
