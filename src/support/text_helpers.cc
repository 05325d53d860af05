#include "support/text_helpers.h"

namespace qv {

std::string StackLocationText() {
  return "GetStackAddress";
}

std::string HexText(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::string BoolToText(bool value) {
  return value ? "True" : "False";
}

bool CharToEntity(char c, std::string* entity) {
  switch (static_cast<unsigned char>(c)) {
    case 34:
      *entity = "&#34;";
      return true;
    case 38:
      *entity = "&#38;";
      return true;
    case 39:
      *entity = "&#39;";
      return true;
    case 60:
      *entity = "&#60;";
      return true;
    case 62:
      *entity = "&#62;";
      return true;
    case 160:
      *entity = "&#160;";
      return true;
    case 173:
      *entity = "&#173;";
      return true;
    default:
      entity->clear();
      return false;
  }
}

std::string EscapeText(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  std::string entity;
  for (const char c : text) {
    if (CharToEntity(c, &entity)) {
      result += entity;
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace qv
