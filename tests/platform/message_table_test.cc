#include "platform/message_table/message_table.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/message_table/format_message.h"
#include "platform/resources/program_resources.h"
#include "rescomp/image_writer.h"
#include "rescomp/message_table_builder.h"
#include "testing/resource_files.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

// The catalogue as the event source's messages must read.
const std::map<uint32_t, std::string> kCatalogue = {
    {0, "%1\r\n"},
    {1, "The Quorvane service was %1.\r\n"},
    {50, "A Exception occurred at %1.%nThe error message reads:%n%2\r\n"},
    {100, "A sockt error occurred.%nThe error message reads:%n%1\r\n"},
    {101, "Flushing Buffer!%nNo End-Pattern found.\r\n"},
    {110, "A ClientSockt error occurred.%nThe error message reads:%n%1%n%2%n%3\r\n"},
    {111, "Request reject!%nMaximum connection of %1 reached!\r\n"},
    {120, "A CDO library error occurred. The error message reads:%n%1\r\n"},
    {121, "Wrong CDO library Version.%nThe curent Version is %1. At least the Version %2 is required.\r\n"},
    {122,
     "Logon attempt from %1 to the mailbox %2 has failed. Logon failure: unknown user name or bad "
     "password.\r\n"},
    {125, "Wrong Exchange Server Version.%nThe curent Version is %1. The Version %2 is required.\r\n"},
    {126,
     "Wrong Exchange Server - ServicePack.%nThe curent ServicePack is %1. At least the ServicePack %2 is "
     "required.\r\n"},
    {200, "A Messagebuild error occurred.%nCannot open the %1 form %2.\r\n"},
};

TEST(MessageTable, TheRunningProgramCarriesTheWholeCatalogue) {
  for (const auto& [id, expected] : kCatalogue) {
    std::string text;
    ASSERT_TRUE(LoadMessageText("", id, &text)) << id;
    EXPECT_EQ(text, expected) << id;
  }
  std::string text;
  for (const uint32_t missing : {2u, 49u, 112u, 201u, 0x4000006Fu})
    EXPECT_FALSE(LoadMessageText("", missing, &text));
}

TEST(MessageTable, EventsReadAsTheViewerShowsThem) {
  std::string text;
  ASSERT_TRUE(LoadMessageText("", 111, &text));
  EXPECT_EQ(FormatMessageText(text, {"20"}), "Request reject!\r\nMaximum connection of 20 reached!\r\n");
  ASSERT_TRUE(LoadMessageText("", 50, &text));
  EXPECT_EQ(FormatMessageText(text, {"GetStackAddress", "Out of memory"}),
            "A Exception occurred at GetStackAddress.\r\nThe error message reads:\r\nOut of memory\r\n");
  ASSERT_TRUE(LoadMessageText("", 101, &text));
  EXPECT_EQ(FormatMessageText(text, {}), "Flushing Buffer!\r\nNo End-Pattern found.\r\n");
}

TEST(MessageTable, OtherProgramFiles) {
  testing::TestStateDir dir;
  const std::vector<uint8_t> table = rescomp::BuildMessageTable({{7, "seven\r\n"}});
  const std::string german_only =
      testing::WriteBytes(dir.File("german.dll"),
                          rescomp::BuildPeImage({{platform::kResourceTypeMessageTable, 1, 0x0407, table}}));
  std::string text;
  ASSERT_TRUE(LoadMessageText(german_only, 7, &text));  // no English table: the one there is
  EXPECT_EQ(text, "seven\r\n");
  EXPECT_FALSE(
      LoadMessageText(testing::WriteBytes(dir.File("none.dll"), rescomp::BuildPeImage({})), 7, &text));
  EXPECT_FALSE(LoadMessageText(dir.File("missing.dll"), 7, &text));
}

std::vector<uint8_t> Le(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> bytes;
  for (const uint32_t w : words) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
  }
  return bytes;
}

TEST(FindMessageText, BlocksOfConsecutiveIds) {
  const std::vector<uint8_t> table =
      rescomp::BuildMessageTable({{1, "one"}, {2, "two"}, {3, ""}, {9, "nine"}});
  std::string text;
  ASSERT_EQ(table[0], 2);  // two blocks: 1 to 3, and 9
  for (const auto& [id, expected] :
       std::map<uint32_t, std::string>{{1, "one"}, {2, "two"}, {3, ""}, {9, "nine"}}) {
    ASSERT_TRUE(FindMessageText(table, id, &text)) << id;
    EXPECT_EQ(text, expected);
  }
  EXPECT_FALSE(FindMessageText(table, 4, &text));
  EXPECT_FALSE(FindMessageText(table, 0, &text));
}

TEST(FindMessageText, UnicodeEntriesComeBackInTheAnsiCodePage) {
  // One block (id 5), one entry of 12 bytes: flags 1, "\u20ACa" and a NUL in UTF-16.
  std::vector<uint8_t> table = Le({1, 5, 5, 16});
  for (const int b : {12, 0, 1, 0, 0xAC, 0x20, 0x61, 0, 0, 0, 0, 0}) table.push_back(static_cast<uint8_t>(b));
  std::string text;
  ASSERT_TRUE(FindMessageText(table, 5, &text));
  EXPECT_EQ(text,
            "\x80"
            "a");
}

TEST(FindMessageText, DamagedTablesFindNothing) {
  std::string text;
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> tables = {
      {"empty", {}},
      {"block count past the end", Le({0x10000000, 1, 1, 16})},
      {"entries past the end", Le({1, 1, 1, 0x7FFFFFFF})},
      {"entry longer than the table", Le({1, 1, 1, 16, 0x00000100})},
      {"entry of length 0", Le({1, 1, 0xFFFFFFFF, 16, 0})},  // would never move on
      {"entry shorter than its header", Le({1, 1, 0xFFFFFFFF, 16, 2})},
      {"unknown flags", Le({1, 1, 1, 16, 0x00070008, 0x41})},
      {"id range far beyond the entries", Le({1, 0, 0xFFFFFFFF, 16, 0x00000008, 0x41})},
  };
  for (const auto& [what, table] : tables) {
    EXPECT_FALSE(FindMessageText(table, 0xFFFFFFF0, &text) || FindMessageText(table, 1, &text)) << what;
  }
}

TEST(FormatMessageText, InsertionStringsAndEscapes) {
  EXPECT_EQ(FormatMessageText("%1 and %2!s! and %1", {"a", "b"}), "a and b and a");
  EXPECT_EQ(FormatMessageText("line%nnext%rcr%ttab%bblank% sp", {}), "line\r\nnext\rcr\ttab blank sp");
  EXPECT_EQ(FormatMessageText("100%% sure%. %!", {}), "100% sure. !");
  EXPECT_EQ(FormatMessageText("stop here%0 not this\r\n", {}), "stop here");
  EXPECT_EQ(FormatMessageText("trailing %", {}), "trailing %");
  EXPECT_EQ(FormatMessageText("%q stays", {}), "%q stays");
  EXPECT_EQ(FormatMessageText("%1", {"%2 is not expanded again"}), "%2 is not expanded again");
  std::vector<std::string> twelve;
  for (int i = 1; i <= 12; ++i) twelve.push_back("s" + std::to_string(i));
  EXPECT_EQ(FormatMessageText("%12 %1 %123", twelve), "s12 s1 s123");  // two digits at most
}

TEST(FormatMessageText, AMissingInsertionStringStaysAsWritten) {
  EXPECT_EQ(FormatMessageText("%1 then %2 then %3!d!", {"one"}), "one then %2 then %3!d!");
  EXPECT_EQ(FormatMessageText("A ClientSockt error occurred.%nThe error message reads:%n%1%n%2%n%3\r\n", {}),
            "A ClientSockt error occurred.\r\nThe error message reads:\r\n%1\r\n%2\r\n%3\r\n");
  EXPECT_EQ(FormatMessageText("%1!unclosed", {"x"}), "x!unclosed");
}

}  // namespace
}  // namespace qv::platform
