#include "support/text_helpers.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(HexText, WritesEveryByteAsTwoUpperCaseDigitsInOrder) {
  EXPECT_EQ(HexText(""), "");
  EXPECT_EQ(HexText(std::string("\x00\x01\x7f\x80\xab\xff", 6)), "00017F80ABFF");
}

TEST(EscapeText, ReplacesExactlyTheCharactersWithReferences) {
  EXPECT_EQ(EscapeText(""), "");
  EXPECT_EQ(EscapeText("a<b&c"), "a&#60;b&#38;c");
  EXPECT_EQ(EscapeText("\"'>"), "&#34;&#39;&#62;");
  EXPECT_EQ(EscapeText("$5 Abc 09\t\x01"), "$5 Abc 09\t\x01");  // no reference for $ or control characters
  EXPECT_EQ(EscapeText("x\xA0y\xADz"), "x&#160;y&#173;z");
  EXPECT_EQ(EscapeText("\xE9\xFF"), "\xE9\xFF");
}

TEST(CharToEntity, EveryByteHasAtMostOneReference) {
  int with_reference = 0;
  std::string entity;
  for (int code = 0; code < 256; ++code) {
    if (CharToEntity(static_cast<char>(code), &entity)) {
      ++with_reference;
      EXPECT_EQ(entity, "&#" + std::to_string(code) + ";");
    } else {
      EXPECT_TRUE(entity.empty());
    }
  }
  EXPECT_EQ(with_reference, 7);
}

TEST(TextHelpers, FixedTexts) {
  EXPECT_EQ(StackLocationText(), "GetStackAddress");
  EXPECT_EQ(BoolToText(true), "True");
  EXPECT_EQ(BoolToText(false), "False");
}

}  // namespace
}  // namespace qv
