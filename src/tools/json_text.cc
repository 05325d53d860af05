#include "tools/json_text.h"

#include <cstdio>

namespace qv::tools {

std::string JsonString(std::string_view utf8) {
  std::string json = "\"";
  for (const char c : utf8) {
    switch (c) {
      case '"':
        json += "\\\"";
        break;
      case '\\':
        json += "\\\\";
        break;
      case '\n':
        json += "\\n";
        break;
      case '\r':
        json += "\\r";
        break;
      case '\t':
        json += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned char>(c));
          json += escape;
        } else {
          json += c;
        }
    }
  }
  return json + "\"";
}

}  // namespace qv::tools
