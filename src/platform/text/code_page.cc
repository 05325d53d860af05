#include "platform/text/code_page.h"

#include <cstdint>

namespace qv::platform {

namespace {

// The characters of the bytes 0x80 to 0x9F; the undefined ones map to themselves.
constexpr char16_t kHighControlRange[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CharacterOf(uint8_t byte) {
  return (byte >= 0x80 && byte <= 0x9F) ? kHighControlRange[byte - 0x80] : byte;
}

// The byte of a character, or '?' when the code page lacks it.
char ByteOf(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (uint8_t i = 0; i < 32; ++i) {
    if (kHighControlRange[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Decodes one character at `at`; returns its length in bytes, 0 for a malformed sequence.
size_t DecodeUtf8(std::string_view bytes, size_t at, char32_t* character) {
  const auto lead = static_cast<uint8_t>(bytes[at]);
  size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    *character = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > bytes.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<uint8_t>(bytes[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *character = value;
  return length;
}

// Characters of Windows-1252 only, so never more than three bytes.
void AppendUtf8(char32_t character, std::string* out) {
  if (character < 0x80) {
    out->push_back(static_cast<char>(character));
  } else if (character < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (character >> 6)));
    out->push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (character >> 12)));
    out->push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (character & 0x3F)));
  }
}

}  // namespace

std::u16string AnsiToWide(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (const char c : text) wide += static_cast<char16_t>(CharacterOf(static_cast<uint8_t>(c)));
  return wide;
}

std::string WideToAnsi(std::u16string_view text) {
  std::string ansi;
  ansi.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ansi += '?';
      ++i;
    } else {
      ansi += ByteOf(text[i]);
    }
  }
  return ansi;
}

std::string Utf8ToWindows1252(std::string_view utf8) {
  std::string result;
  result.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    char32_t character = 0;
    const size_t length = DecodeUtf8(utf8, at, &character);
    if (length == 0) {
      result.push_back('?');
      ++at;
      continue;
    }
    result.push_back(ByteOf(character));
    at += length;
  }
  return result;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (const char byte : text) AppendUtf8(CharacterOf(static_cast<uint8_t>(byte)), &result);
  return result;
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t at = 0; at < bytes.size();) {
    char32_t character = 0;
    const size_t length = DecodeUtf8(bytes, at, &character);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

}  // namespace qv::platform
