#include "testing/wbxml_deck.h"

#include <gtest/gtest.h>

namespace qv::testing {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int value : values) bytes += static_cast<char>(value);
  return bytes;
}

TEST(WbxmlDeck, ReadsHeaderStringTableAndStructure) {
  // The logon form as kannel 1.4.5 compiles it.
  const std::string wbxml = Bytes({
      0x01, 0x04, 0x04, 0x04, 'U',  0x00, 'P',  0x00, 0x7F, 0x6C, 0xB0, 0x5A, 0x03, 'C',  'a',  'c',  'h',
      'e',  '-',  'C',  'o',  'n',  't',  'r',  'o',  'l',  0x00, 0x0D, 0x03, 'm',  'a',  'x',  '-',  'a',
      'g',  'e',  '=',  '0',  0x00, 0x01, 0x01, 0xE7, 0x55, 0x03, 'l',  'o',  'g',  'o',  'n',  0x00, 0x36,
      0x03, 'Q',  'u',  'o',  'r',  'v',  'a',  'n',  'e',  0x00, 0x01, 0xE0, 0x1D, 0x01, 0x03, 'M',  'a',
      'i',  'l',  'b',  'o',  'x',  ':',  0x00, 0xAF, 0x21, 0x03, 'U',  0x00, 0x48, 0x01, 0x26, 0x03, 'P',
      'a',  's',  's',  'w',  'o',  'r',  'd',  ':',  0x00, 0xAF, 0x21, 0x03, 'P',  0x00, 0x3B, 0x01, 0x26,
      0x62, 0xAB, 0x4A, 0x03, '?',  'U',  '=',  0x00, 0x80, 0x00, 0x03, '&',  'P',  '=',  0x00, 0x80, 0x02,
      0x03, '&',  0x00, 0x01, 0x03, 'l',  'o',  'g',  'i',  'n',  0x00, 0x01, 0x01, 0x01, 0x01,
  });
  const WbxmlDeck deck = DecodeWbxmlDeck(wbxml);
  EXPECT_EQ(deck.version, 0x01);
  EXPECT_EQ(deck.public_id, 0x04u);
  EXPECT_EQ(deck.charset, 4u);
  EXPECT_EQ(deck.string_table, std::string("U\0P\0", 4));
  EXPECT_EQ(
      deck.markup,
      "<wml><head><meta http-equiv=\"Cache-Control\" content=\"max-age=0\"/></head>"
      "<card id=\"logon\" title=\"Quorvane\"><p mode=\"nowrap\">Mailbox:<input name=\"U\" "
      "type=\"text\"/><br/>"
      "Password:<input name=\"P\" type=\"password\"/><br/><anchor><go href=\"?U=$(U:e)&amp;P=$(P:e)&amp;\"/>"
      "login</anchor></p></card></wml>");
  EXPECT_EQ(deck.texts, (std::vector<std::string>{"Mailbox:", "Password:", "login"}));
  EXPECT_TRUE(deck.HasText("logi"));
  EXPECT_FALSE(deck.HasText("Quorvane"));  // an attribute value, not a text
}

TEST(WbxmlDeck, ReadsEveryKindOfTextAndValueToken) {
  // clang-format off
  const std::string wbxml = Bytes({
      0x03, 0x0A, 0x6A,                                         // WBXML 1.3, WML 1.3, UTF-8
      0x0A, 'U', 0, 'l', 'a', 'n', 'g', 0, 'x', 0, 0,           // string table: U, lang, x, ""
      0x43, 0x05, 0x03, 'p', 'i', 0, 0x01,                      // a processing instruction, skipped
      0x00, 0x00, 0x7F,                                         // code page 0, <wml>
      0xE7, 0x55, 0x03, 'c', '"', 0, 0x23,                      // <card id="c&quot;" newcontext="true"
      0x04, 0x02, 0x83, 0x07, 0x01,                             //   lang="x">: literal name, value from table
      0x60,                                                     // <p>
      0x03, 'a', '&', '<', '>', '$', 0,                         // a text with the specials
      0x02, 0x81, 0x69,                                         // &#233;, a two-byte integer
      0x40, 'v', 0, 0x81, 0x00, 0x42, 'w', 0,                   // variables: escaped, unescaped, unchanged
      0x83, 0x02,                                               // "lang" from the table
      0x9C, 0x4A, 0x8F, 0x03, 'a', 0, 0x85, 0x01,               // <a href="http://www.a.com/"/>
      0x03, 'z', 0, 0x01,                                       // a text, </p>
      0x01, 0x01,                                               // </card></wml>
      0x43, 0x05, 0x01,                                         // a processing instruction after the deck
  });
  // clang-format on
  const WbxmlDeck deck = DecodeWbxmlDeck(wbxml);
  EXPECT_EQ(deck.version, 0x03);
  EXPECT_EQ(deck.public_id, 0x0Au);
  EXPECT_EQ(deck.charset, 106u);
  EXPECT_EQ(deck.markup,
            "<wml><card id=\"c&quot;\" newcontext=\"true\" "
            "lang=\"x\"><p>a&amp;&lt;&gt;$$&#233;$(v:e)$(U:u)$(w:n)lang"
            "<a href=\"http://www.a.com/\"/>z</p></card></wml>");
  EXPECT_EQ(deck.texts, (std::vector<std::string>{"a&<>$\xC3\xA9$(v:e)$(U:u)$(w:n)lang", "z"}));
}

TEST(WbxmlDeck, RefusesWhatIsNoWmlDeck) {
  const std::string header = Bytes({0x01, 0x04, 0x04, 0x02, 'U', 0});
  const struct {
    const char* fault;
    std::string bytes;
  } broken[] = {
      {"empty", ""},
      {"source text", "<?xml version=\"1.0\"?><wml/>"},
      {"string table longer than the data", Bytes({0x01, 0x04, 0x04, 0x7F, 'U'})},
      {"ends inside an element", header + Bytes({0x7F, 0x60, 0x03, 'x', 0})},
      {"inline string without its end", header + Bytes({0x7F, 0x03, 'x', 'y'})},
      {"string-table index out of range", header + Bytes({0x7F, 0x83, 0x05, 0x01})},
      {"unknown tag", header + Bytes({0x05, 0x01})},
      {"unknown attribute", header + Bytes({0xBF, 0x0E, 0x01})},
      {"another code page", header + Bytes({0x00, 0x01, 0x3F})},
      {"integer over 32 bits", header + Bytes({0x7F, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x01})},
      {"data after the deck", header + Bytes({0x3F, 0x3F})},
  };
  for (const auto& input : broken) {
    SCOPED_TRACE(input.fault);
    EXPECT_THROW(DecodeWbxmlDeck(input.bytes), EWbxmlError);
  }
}

}  // namespace
}  // namespace qv::testing
