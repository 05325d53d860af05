#include "support/percent_encoding.h"

#include "platform/text/ascii_text.h"

namespace qv {

namespace {

bool IsControlCharacter(int byte) {
  return byte < 0x20 || byte == 0x7F;
}

bool IsUnreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const bool escape = text[at] == '%' && at + 2 < text.size();
    const int high = escape ? HexDigitValue(text[at + 1]) : -1;
    const int low = escape ? HexDigitValue(text[at + 2]) : -1;
    if (high < 0 || low < 0 || IsControlCharacter(high * 16 + low)) {
      decoded += text[at];
      continue;
    }
    decoded += static_cast<char>(high * 16 + low);
    at += 2;
  }
  return decoded;
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char c : text) {
    if (IsUnreserved(c)) {
      encoded += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    encoded += '%';
    encoded += kDigits[byte >> 4];
    encoded += kDigits[byte & 0x0F];
  }
  return encoded;
}

}  // namespace qv
