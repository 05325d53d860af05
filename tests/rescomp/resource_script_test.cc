#include "rescomp/resource_script.h"

#include <gtest/gtest.h>

#include "platform/resources/file_version.h"
#include "platform/resources/program_resources.h"
#include "rescomp/byte_writer.h"
#include "rescomp/resource_section.h"

namespace qv::rescomp {
namespace {

std::string Query(const std::vector<uint8_t>& block, const std::string& path) {
  std::string value;
  return platform::VerQueryValue(block, path, &value) ? value : "<none>";
}

uint32_t Le32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return value;
}

TEST(ResourceScript, VersionInfoReadsBackThroughTheVersionFunctions) {
  const std::vector<Resource> resources = ParseResourceScript(
      "/* the version */ LANGUAGE 0x07, 0x01  // German (Germany)\n"
      "1 VERSIONINFO\n"
      " FILEVERSION 5,5,2653,23\n"
      " PRODUCTVERSION 5,5\n"
      " FILEFLAGSMASK 0x3FL\n"
      " FILETYPE 0x2L\n"
      "{\n"
      "  BLOCK \"StringFileInfo\"\n"
      "  BEGIN\n"
      "    block \"040704E4\" begin\n"
      "      VALUE \"CompanyName\", \"Hollberg \"\"&\"\" S\\xF6hne\\0\"\n"
      "      VALUE \"Comments\", \"Service Pack\", \" 2\"\n"
      "    END\n"
      "  END\n"
      "  BLOCK \"VarFileInfo\" { VALUE \"Translation\", 0x407, 1252, 0x12345678L }\n"
      "}\n",
      "version.rc");
  ASSERT_EQ(resources.size(), 1u);
  EXPECT_EQ(resources[0].type, platform::kResourceTypeVersion);
  EXPECT_EQ(resources[0].id, 1);
  EXPECT_EQ(resources[0].language, 0x0407);
  const std::vector<uint8_t>& block = resources[0].data;
  const std::string fixed = Query(block, "\\");
  ASSERT_EQ(fixed.size(), 52u);
  EXPECT_EQ(Le32(fixed, 8), 0x00050005u);   // file version, most significant
  EXPECT_EQ(Le32(fixed, 12), 0x0A5D0017u);  // 2653, 23
  EXPECT_EQ(Le32(fixed, 16), 0x00050005u);  // product version 5.5.0.0
  EXPECT_EQ(Le32(fixed, 20), 0u);
  EXPECT_EQ(Le32(fixed, 24), 0x3Fu);  // flags mask
  EXPECT_EQ(Le32(fixed, 36), 2u);     // file type
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040704E4\\CompanyName"),
            std::string("Hollberg \"&\" S\xF6hne\0\0", 20));
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040704E4\\Comments"), std::string("Service Pack 2\0", 15));
  EXPECT_EQ(Query(block, "\\VarFileInfo\\Translation"), std::string("\x07\x04\xE4\x04\x78\x56\x34\x12", 8));
}

TEST(ResourceScript, WithoutLanguageStatementEnglishUnitedStates) {
  const std::vector<Resource> resources =
      ParseResourceScript("1 VERSIONINFO BEGIN END\n2 VERSIONINFO FILEVERSION 1 BEGIN END\n", "two.rc");
  ASSERT_EQ(resources.size(), 2u);
  EXPECT_EQ(resources[0].language, platform::kLanguageEnglishUs);
  EXPECT_EQ(resources[1].id, 2);
}

TEST(ResourceScript, WhatTheWindowsCompilerWouldReadDifferentlyIsRefused) {
  struct Case {
    const char* script;
    const char* message;
  };
  for (const Case& c : {
           Case{"#include <winver.h>\n", "s.rc:1: preprocessor lines are not supported"},
           Case{"VS_VERSION_INFO VERSIONINFO BEGIN END",
                "s.rc:1: resource id (a number) or LANGUAGE expected"},
           Case{"1 MESSAGETABLE \"MSG00409.bin\"", "s.rc:1: only VERSIONINFO resources are supported"},
           Case{"1 VERSIONINFO FILEFLAGS VS_FF_DEBUG BEGIN END", "s.rc:1: number expected"},
           Case{"1 VERSIONINFO\nBEGIN\n VALUE \"A\", \"x\", 1\nEND",
                "s.rc:3: a value of strings and numbers together is not supported"},
           Case{"1 VERSIONINFO BEGIN VALUE \"A\", 70000 END",
                "s.rc:1: number does not fit 16 bits (write it with an L)"},
           Case{"1 VERSIONINFO BEGIN VALUE \"A\", \"open\nEND", "s.rc:1: string not closed"},
           Case{"1 VERSIONINFO BEGIN\n BLOCK \"A\" BEGIN\n", "s.rc:3: BLOCK, VALUE or END expected"},
           Case{"1 VERSIONINFO FILEVERSION 1,2,3,70000 BEGIN END", "s.rc:1: version part out of range"},
           Case{"LANGUAGE 0x400, 1", "s.rc:1: language out of range"},
           Case{"/* open", "s.rc:1: comment not closed"},
       }) {
    try {
      ParseResourceScript(c.script, "s.rc");
      ADD_FAILURE() << "accepted: " << c.script;
    } catch (const EResourceError& error) {
      EXPECT_EQ(error.Message(), c.message) << c.script;
    }
  }
}

TEST(ResourceSection, TwoResourcesWithTheSameNameAreRefused) {
  EXPECT_THROW(BuildResourceSection({{16, 1, 0x409, {}}, {16, 1, 0x409, {1}}}, 0), EResourceError);
}

}  // namespace
}  // namespace qv::rescomp
