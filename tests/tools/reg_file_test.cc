#include <gtest/gtest.h>

#include "platform/registry/registry.h"
#include "tools/reg_file_parser.h"
#include "tools/reg_file_writer.h"

namespace qv::tools {
namespace {

using platform::REG_BINARY;
using platform::REG_DWORD;
using platform::REG_EXPAND_SZ;
using platform::REG_MULTI_SZ;
using platform::REG_SZ;

RegFileValue Value(const std::string& name, uint32_t type, const std::string& data) {
  RegFileValue value;
  value.name = name;
  value.type = type;
  value.data = data;
  return value;
}

std::string ParseError(const std::string& text) {
  try {
    ParseRegFile(text);
  } catch (const ERegFileError& error) {
    return error.Message();
  }
  return "no error";
}

void ExpectSameValues(const std::vector<RegFileValue>& actual, const std::vector<RegFileValue>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].name, expected[i].name) << i;
    EXPECT_EQ(actual[i].remove, expected[i].remove) << i;
    EXPECT_EQ(actual[i].type, expected[i].type) << actual[i].name;
    EXPECT_EQ(actual[i].data, expected[i].data) << actual[i].name;
  }
}

TEST(RegFile, EveryValueSurvivesWritingAndReading) {
  RegFile file;
  RegFileKey key;
  key.path = "HKEY_LOCAL_MACHINE\\Software\\Quoted \"[Name]\"";
  key.values = {
      Value("", REG_SZ, std::string("default\0", 8)),
      Value("Path \"with\" \\ and \xE9", REG_SZ, std::string("C:\\x \"q\" \xE9\0", 11)),
      Value("NoNul", REG_SZ, "abc"),
      Value("TwoLines", REG_SZ, std::string("a\r\nb\0", 5)),
      Value("Inner", REG_SZ, std::string("a\0b\0", 4)),
      Value("Expand", REG_EXPAND_SZ, std::string("%TEMP%\0", 7)),
      Value("Multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)),
      Value("Dword", REG_DWORD, std::string("\x90\x1F\0\0", 4)),
      Value("Empty", REG_BINARY, ""),
      Value("Long", REG_BINARY, std::string(300, '\xAB')),
      Value("Odd", 0x1234, std::string("\0\x01", 2)),
  };
  file.keys.push_back(key);
  RegFileKey removed;
  removed.path = "HKEY_CURRENT_USER\\Gone";
  removed.remove = true;
  file.keys.push_back(removed);

  const std::string text = FormatRegFile(file);
  EXPECT_EQ(text.substr(0, 10), "REGEDIT4\r\n");
  for (size_t start = 0, end = 0; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    EXPECT_LE(end - start, 80u) << text.substr(start, end - start);  // hex data is wrapped
  EXPECT_NE(text.find("\"Dword\"=dword:00001f90\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Expand\"=hex(2):25,54,45,4d,50,25,00\r\n"), std::string::npos) << text;

  const RegFile read = ParseRegFile(text);
  EXPECT_EQ(read.format, RegFileFormat::kRegedit4);
  ASSERT_EQ(read.keys.size(), 2u);
  EXPECT_EQ(read.keys[0].path, key.path);
  EXPECT_FALSE(read.keys[0].remove);
  ExpectSameValues(read.keys[0].values, key.values);
  EXPECT_EQ(read.keys[1].path, "HKEY_CURRENT_USER\\Gone");
  EXPECT_TRUE(read.keys[1].remove);
}

TEST(RegFile, ReadsTheRegistryEditorsFormats) {
  const RegFile file = ParseRegFile(
      "\r\nWindows Registry Editor Version 5.00\r\n"
      "; a comment\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\X]\r\n"
      "@=\"d\"\r\n"
      "\"Gone\"=-\r\n"
      "  \"Spaced\" = dword:A\r\n"
      "\"Expand\"=hex(2):25,00,41,00,\\\r\n"
      "  e9,00,00,00\r\n"
      "\"Bytes\"=hex: 01, ff ,\r\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\Y]\r\n");
  EXPECT_EQ(file.format, RegFileFormat::kVersion5);
  ASSERT_EQ(file.keys.size(), 2u);
  RegFileValue gone;
  gone.name = "Gone";
  gone.remove = true;
  ExpectSameValues(file.keys[0].values, {Value("", REG_SZ, std::string("d\0", 2)), gone,
                                         Value("Spaced", REG_DWORD, std::string("\x0A\0\0\0", 4)),
                                         Value("Expand", REG_EXPAND_SZ, std::string("%A\xE9\0", 4)),
                                         Value("Bytes", REG_BINARY, "\x01\xFF")});
  EXPECT_EQ(file.keys[0].values[3].line, 9);
  EXPECT_TRUE(file.keys[1].remove);
  EXPECT_EQ(file.keys[1].line, 12);
}

TEST(RegFile, TurnsUnicodeFilesIntoSingleByteText) {
  // UTF-16LE with its byte-order mark: "REGEDIT4\n[HKLM\A]\n"@"="€é"\n" with the euro sign U+20AC.
  std::string utf16 = "\xFF\xFE";
  for (const char16_t c : std::u16string(u"REGEDIT4\n[HKLM\\A]\n@=\"\u20AC\u00E9\"\n")) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  RegFile file = ParseRegFile(utf16);
  ASSERT_EQ(file.keys.size(), 1u);
  EXPECT_EQ(file.keys[0].values[0].data, std::string("\x80\xE9\0", 3));

  file = ParseRegFile("\xEF\xBB\xBFREGEDIT4\n[HKLM\\A]\n\"\xC3\xA9\"=\"\xE2\x82\xAC\"\n");
  EXPECT_EQ(file.keys[0].values[0].name, "\xE9");
  EXPECT_EQ(file.keys[0].values[0].data, std::string("\x80\0", 2));

  EXPECT_EQ(ParseError("\xEF\xBB\xBFREGEDIT4\n[HKLM\\A]\n@=\"\xE4\xB8\xAD\"\n"),
            "line 3: the character U+4E2D has no single-byte form");
  EXPECT_EQ(ParseError("\xEF\xBB\xBFREGEDIT4\n\xC3"), "line 2: the UTF-8 text is malformed");
  EXPECT_EQ(ParseError("\xEF\xBB\xBFREGEDIT4\n\xC0\xAF"), "line 2: the UTF-8 text is malformed");  // overlong
  EXPECT_EQ(ParseError("\xFF\xFEREG"), "line 1: a UTF-16 text must have an even number of bytes");
}

TEST(RegFile, SaysWhatWasExpectedAndWhere) {
  EXPECT_EQ(ParseError(""),
            "line 1: expected the header \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"");
  EXPECT_EQ(ParseError("REGEDIT5\n"),
            "line 1: expected the header \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"");
  EXPECT_EQ(ParseError("REGEDIT4\n\"a\"=\"b\"\n"), "line 2: a value comes before the first [key]");
  EXPECT_EQ(ParseError("REGEDIT4\n[-HKLM\\A]\n\"a\"=\"b\"\n"),
            "line 3: a value under a [-key] that is being deleted");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A\n"), "line 2: expected a key line to end with ]");
  EXPECT_EQ(ParseError("REGEDIT4\n[]\n"), "line 2: the key name between [ and ] is empty");
  EXPECT_EQ(ParseError("REGEDIT4\nHKLM\n"),
            "line 2: expected a [key] line, a \"name\"= or @= value line, or a ; comment");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=\"b\n"), "line 3: a quoted text has no closing \"");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=\"\\n\"\n"),
            "line 3: unknown escape in a quoted text; only \\\\ and \\\" are allowed");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=\"b\" x\n"),
            "line 3: unexpected text after the closing \"");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\" \"b\"\n"), "line 3: expected = after the value name");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=dword:123456789\n"),
            "line 3: expected dword: and one to eight hexadecimal digits");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=dword:xyz\n"),
            "line 3: expected dword: and one to eight hexadecimal digits");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex:01,,02\n"),
            "line 3: expected hexadecimal bytes separated by commas (such as 0a,ff)");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex:100\n"),
            "line 3: expected hexadecimal bytes separated by commas (such as 0a,ff)");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex(zz):01\n"),
            "line 3: expected hex( with a type of one to eight hexadecimal digits and )");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex;01\n"), "line 3: expected : after hex or hex(type)");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex:01,\\"),
            "line 3: the hex data continues past the end of the file");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=12\n"),
            "line 3: expected \"text\", dword:, hex:, hex(type): or - after =");
  EXPECT_EQ(ParseError("Windows Registry Editor Version 5.00\n[HKLM\\A]\n\"a\"=hex(1):41\n"),
            "line 3: text data of a version 5.00 file must be UTF-16 (an even number of bytes)");
  // Numbers of the wrong size: no program could read them as numbers.
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex(4):b4,46,00,00,01\n"),
            "line 3: REG_DWORD data must be 4 bytes, not 5");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex(4):\n"),
            "line 3: REG_DWORD data must be 4 bytes, not 0");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex(5):01,02\n"),
            "line 3: REG_DWORD_BIG_ENDIAN data must be 4 bytes, not 2");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex(b):01,02,03,04\n"),
            "line 3: REG_QWORD data must be 8 bytes, not 4");
}

TEST(RegFile, RefusesNamesALineCannotCarry) {
  RegFile file;
  RegFileKey key;
  key.path = "HKEY_LOCAL_MACHINE\\A";
  key.values.push_back(Value("two\nlines", REG_SZ, std::string("x\0", 2)));
  file.keys.push_back(key);
  EXPECT_THROW(FormatRegFile(file), ERegFileError);
}

}  // namespace
}  // namespace qv::tools
