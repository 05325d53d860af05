#include "platform/text/code_page.h"

#include <gtest/gtest.h>

namespace qv::platform {
namespace {

TEST(Windows1252, KeepsTheCharactersOfTheCodePage) {
  EXPECT_EQ(Utf8ToWindows1252("Meeting"), "Meeting");
  EXPECT_EQ(Utf8ToWindows1252("Caf\xC3\xA9 M\xC3\xBCller \xC3\x9F"), "Caf\xE9 M\xFCller \xDF");
  // The 0x80 to 0x9F block: euro sign, dashes, typographic quotes, S and Z with caron.
  EXPECT_EQ(Utf8ToWindows1252("\xE2\x82\xAC \xE2\x80\x93 \xE2\x80\x9C\xE2\x80\x9D \xC5\xA0\xC5\xBD"),
            "\x80 \x96 \x93\x94 \x8A\x8E");
  EXPECT_EQ(Utf8ToWindows1252("\xC2\xA0"), "\xA0");
}

TEST(Windows1252, TurnsWhatTheCodePageLacksIntoQuestionMarks) {
  // Cyrillic, CJK, an emoji (4 bytes) and a combining accent: one "?" per character.
  EXPECT_EQ(Utf8ToWindows1252("\xD0\x9F\xD1\x80\xD0\xB8"), "???");
  EXPECT_EQ(Utf8ToWindows1252("\xE4\xBC\x9A\xE8\xAD\xB0 x"), "?? x");
  EXPECT_EQ(Utf8ToWindows1252("a\xF0\x9F\x8E\x89z"), "a?z");
  EXPECT_EQ(Utf8ToWindows1252("e\xCC\x81"), "e?");
  // Malformed input: each stray byte becomes "?", the rest survives.
  EXPECT_EQ(Utf8ToWindows1252("a\xE9z"), "a?z");
  EXPECT_EQ(Utf8ToWindows1252("\xC0\xAF"), "??");       // overlong "/"
  EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "???");  // a surrogate
  EXPECT_EQ(Utf8ToWindows1252("ok\xE2\x82"), "ok??");   // cut short at the end
}

TEST(Windows1252, RoundTripsEveryByte) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  const std::string utf8 = Windows1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToWindows1252(utf8), all);
  EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_FALSE(IsValidUtf8("\xFF"));
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
}

}  // namespace
}  // namespace qv::platform
