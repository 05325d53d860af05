#include "support/win_error_text.h"

#include <cstdio>

#include "platform/errors/win_error.h"

namespace qv {

std::string GetWinErrorText(int32_t code) {
  if (code >= 0) {
    std::string text;
    if (platform::FormatSystemMessage(static_cast<uint32_t>(code), &text)) return text;
    return "?";
  }
  static const char* const kDecompressionErrors[] = {
      "LZERROR_BADINHANDLE", "LZERROR_BADOUTHANDLE", "LZERROR_READ",     "LZERROR_WRITE",
      "LZERROR_GLOBALLOC",   "LZERROR_GLOBLOCK",     "LZERROR_BADVALUE", "LZERROR_UNKNOWNALG",
  };
  if (code >= -8) return kDecompressionErrors[-code - 1];
  return "?";
}

std::string LastErrorText(uint32_t code) {
  return "LastError: " + std::to_string(static_cast<int32_t>(code)) + " (" +
         GetWinErrorText(static_cast<int32_t>(code)) + ")";
}

std::string HexErrorText(uint32_t code) {
  char hex[16];
  std::snprintf(hex, sizeof(hex), "%X", code);
  return std::string("$") + hex + " (" + GetWinErrorText(static_cast<int32_t>(code)) + ")";
}

}  // namespace qv
