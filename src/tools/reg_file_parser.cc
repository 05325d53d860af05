#include "tools/reg_file_parser.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/text/ascii_text.h"

namespace qv::tools {

namespace {

constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kVersion5 = "Windows Registry Editor Version 5.00";

// The Windows-1252 byte of a Unicode character, if it has one.
std::optional<char> SingleByte(uint32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) return static_cast<char>(code_point);
  // Bytes 0x80 to 0x9F: the letters and signs the code page puts there, and the five it leaves free.
  static constexpr uint32_t kHighControls[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == code_point) return static_cast<char>(0x80 + i);
  return std::nullopt;
}

[[noreturn]] void Fail(int line, const std::string& what) {
  throw ERegFileError("line " + std::to_string(line) + ": " + what);
}

void Append(uint32_t code_point, int line, std::string* text) {
  const auto byte = SingleByte(code_point);
  if (!byte) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "U+%04X", code_point);
    Fail(line, std::string("the character ") + hex + " has no single-byte form");
  }
  *text += *byte;
}

// UTF-16LE text (after its byte-order mark) as single-byte text.
std::string FromUtf16(std::string_view bytes) {
  std::string text;
  int line = 1;
  if (bytes.size() % 2 != 0) Fail(1, "a UTF-16 text must have an even number of bytes");
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const uint32_t unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                                     << 8;
    Append(unit, line, &text);
    if (unit == '\n') ++line;
  }
  return text;
}

// UTF-8 text (after its byte-order mark) as single-byte text.
std::string FromUtf8(std::string_view bytes) {
  std::string text;
  int line = 1;
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    int length = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || i + static_cast<size_t>(length) > bytes.size())
      Fail(line, "the UTF-8 text is malformed");
    uint32_t code_point = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) Fail(line, "the UTF-8 text is malformed");
      code_point = code_point << 6 | (next & 0x3F);
    }
    static constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code_point < kSmallest[length]) Fail(line, "the UTF-8 text is malformed");
    Append(code_point, line, &text);
    if (code_point == '\n') ++line;
    i += static_cast<size_t>(length);
  }
  return text;
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// A number of one to eight hexadecimal digits.
std::optional<uint32_t> HexNumber(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (const char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

class Parser {
 public:
  explicit Parser(std::string text) : text_(std::move(text)) {
    size_t start = 0;
    while (start <= text_.size()) {
      size_t end = text_.find('\n', start);
      if (end == std::string::npos) end = text_.size();
      lines_.push_back(TrimRight(std::string_view(text_).substr(start, end - start)));
      start = end + 1;
    }
  }

  RegFile Parse() {
    RegFile file;
    size_t index = 0;
    while (index < lines_.size() && TrimLeft(lines_[index]).empty()) ++index;
    const std::string_view header = index < lines_.size() ? TrimLeft(lines_[index]) : std::string_view();
    if (header == kRegedit4)
      file.format = RegFileFormat::kRegedit4;
    else if (header == kVersion5)
      file.format = RegFileFormat::kVersion5;
    else
      Fail(static_cast<int>(std::min(index, lines_.size() - 1)) + 1,
           "expected the header \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"");
    format_ = file.format;

    for (++index; index < lines_.size(); ++index) {
      const int line = static_cast<int>(index) + 1;
      const std::string_view text = TrimLeft(lines_[index]);
      if (text.empty() || text.front() == ';') continue;
      if (text.front() == '[') {
        file.keys.push_back(ParseKey(text, line));
      } else if (text.front() == '"' || text.front() == '@') {
        if (file.keys.empty()) Fail(line, "a value comes before the first [key]");
        if (file.keys.back().remove) Fail(line, "a value under a [-key] that is being deleted");
        file.keys.back().values.push_back(ParseValue(&index));
      } else {
        Fail(line, "expected a [key] line, a \"name\"= or @= value line, or a ; comment");
      }
    }
    return file;
  }

 private:
  static RegFileKey ParseKey(std::string_view text, int line) {
    const size_t close = text.rfind(']');
    if (close == std::string_view::npos || !TrimLeft(text.substr(close + 1)).empty())
      Fail(line, "expected a key line to end with ]");
    RegFileKey key;
    key.line = line;
    std::string_view path = text.substr(1, close - 1);
    if (!path.empty() && path.front() == '-') {
      key.remove = true;
      path.remove_prefix(1);
    }
    if (path.empty()) Fail(line, "the key name between [ and ] is empty");
    key.path = std::string(path);
    return key;
  }

  // A quoted text with its \\ and \" escapes; `text` starts at the opening quote and is left after the
  // closing one.
  static std::string Quoted(std::string_view* text, int line) {
    std::string result;
    size_t i = 1;
    for (;; ++i) {
      if (i >= text->size()) Fail(line, "a quoted text has no closing \"");
      const char c = (*text)[i];
      if (c == '"') break;
      if (c == '\\') {
        if (i + 1 >= text->size() || ((*text)[i + 1] != '\\' && (*text)[i + 1] != '"'))
          Fail(line, "unknown escape in a quoted text; only \\\\ and \\\" are allowed");
        ++i;
      }
      result += (*text)[i];
    }
    text->remove_prefix(i + 1);
    return result;
  }

  RegFileValue ParseValue(size_t* index) {
    const int line = static_cast<int>(*index) + 1;
    RegFileValue value;
    value.line = line;
    std::string_view text = TrimLeft(lines_[*index]);
    if (text.front() == '@') {
      text.remove_prefix(1);
    } else {
      value.name = Quoted(&text, line);
    }
    text = TrimLeft(text);
    if (text.empty() || text.front() != '=') Fail(line, "expected = after the value name");
    text = TrimLeft(text.substr(1));

    if (text == "-") {
      value.remove = true;
    } else if (!text.empty() && text.front() == '"') {
      value.type = platform::REG_SZ;
      value.data = Quoted(&text, line) + '\0';
      if (!TrimLeft(text).empty()) Fail(line, "unexpected text after the closing \"");
    } else if (text.substr(0, 6) == "dword:") {
      const auto number = HexNumber(text.substr(6));
      if (!number) Fail(line, "expected dword: and one to eight hexadecimal digits");
      value.type = platform::REG_DWORD;
      for (int shift = 0; shift < 32; shift += 8) value.data += static_cast<char>((*number >> shift) & 0xFF);
    } else if (text.substr(0, 3) == "hex") {
      ParseHex(text.substr(3), index, &value);
    } else {
      Fail(line, "expected \"text\", dword:, hex:, hex(type): or - after =");
    }
    return value;
  }

  void ParseHex(std::string_view text, size_t* index, RegFileValue* value) {
    const int line = value->line;
    value->type = platform::REG_BINARY;
    if (!text.empty() && text.front() == '(') {
      const size_t close = text.find(')');
      const auto type = close == std::string_view::npos ? std::nullopt : HexNumber(text.substr(1, close - 1));
      if (!type) Fail(line, "expected hex( with a type of one to eight hexadecimal digits and )");
      value->type = *type;
      text.remove_prefix(close + 1);
    }
    if (text.empty() || text.front() != ':') Fail(line, "expected : after hex or hex(type)");
    std::string list(text.substr(1));
    // A trailing backslash continues the list on the next line.
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      if (++*index >= lines_.size()) Fail(line, "the hex data continues past the end of the file");
      list += TrimLeft(lines_[*index]);
    }
    std::string bytes;
    size_t start = 0;
    while (start < list.size()) {
      size_t end = list.find(',', start);
      if (end == std::string::npos) end = list.size();
      const std::string_view item = TrimRight(TrimLeft(std::string_view(list).substr(start, end - start)));
      const auto byte = item.size() <= 2 ? HexNumber(item) : std::nullopt;
      if (!byte) Fail(line, "expected hexadecimal bytes separated by commas (such as 0a,ff)");
      bytes += static_cast<char>(*byte);
      start = end + 1;
    }
    CheckFixedSize(value->type, bytes.size(), line);
    value->data = TextsInSingleBytes(value->type, bytes, line);
  }

  // A number's data has the number's size: a REG_DWORD of five bytes is no REG_DWORD (a program that
  // reads it fails, a service does not start).
  static void CheckFixedSize(uint32_t type, size_t size, int line) {
    size_t wanted = 0;
    const char* name = "";
    if (type == platform::REG_DWORD || type == platform::REG_DWORD_BIG_ENDIAN) {
      wanted = 4;
      name = type == platform::REG_DWORD ? "REG_DWORD" : "REG_DWORD_BIG_ENDIAN";
    } else if (type == platform::REG_QWORD) {
      wanted = 8;
      name = "REG_QWORD";
    }
    if (wanted != 0 && size != wanted)
      Fail(line, std::string(name) + " data must be " + std::to_string(wanted) + " bytes, not " +
                     std::to_string(size));
  }

  // Version 5 files hold the texts of hex(1), hex(2) and hex(7) data in UTF-16LE.
  std::string TextsInSingleBytes(uint32_t type, const std::string& bytes, int line) const {
    const bool text_type =
        type == platform::REG_SZ || type == platform::REG_EXPAND_SZ || type == platform::REG_MULTI_SZ;
    if (format_ != RegFileFormat::kVersion5 || !text_type) return bytes;
    if (bytes.size() % 2 != 0)
      Fail(line, "text data of a version 5.00 file must be UTF-16 (an even number of bytes)");
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 2)
      Append(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8, line,
             &text);
    return text;
  }

  std::string text_;
  std::vector<std::string_view> lines_;
  RegFileFormat format_ = RegFileFormat::kRegedit4;
};

}  // namespace

RegFile ParseRegFile(std::string_view text) {
  std::string single_byte;
  if (text.substr(0, 2) == "\xFF\xFE")
    single_byte = FromUtf16(text.substr(2));
  else if (text.substr(0, 3) == "\xEF\xBB\xBF")
    single_byte = FromUtf8(text.substr(3));
  else
    single_byte = std::string(text);
  return Parser(std::move(single_byte)).Parse();
}

}  // namespace qv::tools
