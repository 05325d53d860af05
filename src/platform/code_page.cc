#include "platform/code_page.h"

#include <cstdint>

namespace qv::platform {

namespace {

// The characters of the bytes 0x80 to 0x9F; the undefined ones map to themselves.
constexpr char16_t kHighControlRange[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ByteOf(char16_t c) {
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

}  // namespace

std::u16string AnsiToWide(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    wide += (byte >= 0x80 && byte <= 0x9F) ? kHighControlRange[byte - 0x80] : static_cast<char16_t>(byte);
  }
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

}  // namespace qv::platform
