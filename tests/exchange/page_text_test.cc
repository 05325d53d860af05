// Texts as they go into a deck: references, "$$" and left-out control characters under every
// character set, Windows-1252's extra characters as references of their code points unless the deck
// is windows-1252, cuts that keep an escaped text within a limit, the values of links, and the
// character-set names that may stand in a deck's XML declaration.
#include "exchange/page_text.h"

#include <gtest/gtest.h>

#include "exchange/deck_settings.h"

namespace qv {
namespace {

constexpr DeckCharset kLatin1 = DeckCharset::kLatin1;
constexpr DeckCharset kWindows1252 = DeckCharset::kWindows1252;
constexpr DeckCharset kOther = DeckCharset::kOther;

TEST(PageText, EscapesAlikeUnderEveryCharacterSetButTheExtrasOfWindows1252) {
  for (const DeckCharset charset : {kLatin1, kWindows1252}) {
    EXPECT_EQ(PageText("R&D <$5> \"a\" 'b'\xa0\xe9", charset),
              "R&#38;D &#60;$$5&#62; &#34;a&#34; &#39;b&#39;&#160;\xe9");
    // Control characters and the five bytes Windows-1252 leaves undefined are no characters.
    EXPECT_EQ(PageText("a\x01\x1b\x7f\x81\x8d\x8f\x90\x9d"
                       "b\tc\r\n",
                       charset),
              "ab\tc\r\n");
  }
  // The euro sign, the ellipsis, the curly quotes, the dashes, the trade mark, the last one.
  const std::string extras = "\x80\x85\x93\x94\x96\x97\x99\x9f";
  EXPECT_EQ(PageText(extras, kLatin1), "&#8364;&#8230;&#8220;&#8221;&#8211;&#8212;&#8482;&#376;");
  EXPECT_EQ(PageText(extras, kWindows1252), extras);
  EXPECT_EQ(DeckCharsetOf("Windows-1252"), kWindows1252);
  for (const char* latin1 : {"iso-8859-1", "ISO-8859-1", "latin1", "ISO_8859-1:1987"})
    EXPECT_EQ(DeckCharsetOf(latin1), kLatin1);
  for (const char* other : {"utf-8", "us-ascii", "cp1252", ""}) EXPECT_EQ(DeckCharsetOf(other), kOther);
}

TEST(PageText, UnderAnyOtherCharacterSetEveryByteAboveAsciiIsAReference) {
  // In a utf-8 deck a raw 0xE9 would be malformed; its reference is the same character anywhere.
  EXPECT_EQ(PageText("caf\xe9 \xa0\x80\x81 $", kOther), "caf&#233; &#160;&#8364; $$");
  EXPECT_EQ(PageTextWithin("\xe9\xe9", 7, kOther), "&#233;");
}

TEST(PageTextWithin, KeepsTheLongestBeginningWhoseEscapedFormFitsAndCutsNoReference) {
  EXPECT_EQ(PageTextWithin("plain text", 5, kLatin1), "plain");
  EXPECT_EQ(PageTextWithin("plain", -3, kLatin1), "");
  EXPECT_EQ(PageTextWithin("a&b", 5, kLatin1), "a");
  EXPECT_EQ(PageTextWithin("a&b", 6, kLatin1), "a&#38;");
  EXPECT_EQ(PageTextWithin("\x80x", 6, kLatin1), "");
  EXPECT_EQ(PageTextWithin("\x80x", 1, kWindows1252), "\x80");
  // Whatever the limit, the result fits it and is the page text of a beginning of the text.
  const std::string mixed = "x<\x80$\x01y&\"\x81z";
  for (int64_t limit = 0; limit < 40; ++limit) {
    const std::string cut = PageTextWithin(mixed, limit, kLatin1);
    EXPECT_LE(static_cast<int64_t>(cut.size()), limit);
    bool beginning = false;
    for (size_t n = 0; n <= mixed.size(); ++n) beginning |= PageText(mixed.substr(0, n), kLatin1) == cut;
    EXPECT_TRUE(beginning) << limit << ": " << cut;
  }
}

TEST(LinkValue, PercentEncodesAllButLettersDigitsAndFourMarks) {
  EXPECT_EQ(LinkValue("A-z_0.9~"), "A-z_0.9~");
  EXPECT_EQ(LinkValue("a&b %c+d#e=f<\"'$?/>\xfc"), "a%26b%20%25c%2Bd%23e%3Df%3C%22%27%24%3F%2F%3E%FC");
}

TEST(IsPlainCharSetName, TakesLettersDigitsAndFourMarksOnly) {
  for (const char* name : {"iso-8859-1", "UTF-8", "ISO_8859-1:1987", "x.y"})
    EXPECT_TRUE(IsPlainCharSetName(name));
  for (const char* name : {"", "utf 8", "utf-8\"?>", "%CHARSET%", "a&b", "\xe9"})
    EXPECT_FALSE(IsPlainCharSetName(name)) << name;
}

}  // namespace
}  // namespace qv
