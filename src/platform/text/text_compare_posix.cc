#include <array>
#include <cstdint>

#include "platform/text/text_compare.h"

namespace qv::platform {

namespace {

// Windows-1252 upper-case letters mapped to their lower-case forms; every other byte to itself.
constexpr std::array<uint8_t, 256> MakeFoldTable() {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = static_cast<uint8_t>(c + 32);
  for (int c = 0xC0; c <= 0xDE; ++c)
    if (c != 0xD7) table[c] = static_cast<uint8_t>(c + 32);  // 0xD7 is the multiplication sign
  table[0x8A] = 0x9A;                                        // S with caron
  table[0x8C] = 0x9C;                                        // ligature OE
  table[0x8E] = 0x9E;                                        // Z with caron
  table[0x9F] = 0xFF;                                        // Y with diaeresis
  return table;
}

constexpr std::array<uint8_t, 256> kFold = MakeFoldTable();

}  // namespace

std::string FoldTextCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(kFold[static_cast<uint8_t>(c)]);
  return folded;
}

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const int left = kFold[static_cast<uint8_t>(a[i])];
    const int right = kFold[static_cast<uint8_t>(b[i])];
    if (left != right) return left < right ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace qv::platform
