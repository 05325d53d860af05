#include "support/windows_1252.h"

#include <cstdint>

namespace qv {

namespace {

// The characters of 0x80 to 0x9F; 0 marks the five undefined bytes.
constexpr char32_t kHighControls[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                        0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t CharacterOf(unsigned char byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const char32_t mapped = kHighControls[byte - 0x80];
  return mapped != 0 ? mapped : byte;
}

// The byte of a character, or '?' when the code page lacks it.
char ByteOf(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) return static_cast<char>(character);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == character) return static_cast<char>(0x80 + i);
  }
  if (character == 0x81 || character == 0x8D || character == 0x8F || character == 0x90 || character == 0x9D)
    return static_cast<char>(character);
  return '?';
}

// Decodes one character at `at`; returns its length in bytes, 0 for a malformed sequence.
size_t DecodeUtf8(std::string_view bytes, size_t at, char32_t* character) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
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
    const auto next = static_cast<unsigned char>(bytes[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *character = value;
  return length;
}

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
  for (const char byte : text) AppendUtf8(CharacterOf(static_cast<unsigned char>(byte)), &result);
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

}  // namespace qv
