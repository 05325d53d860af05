// Message texts and insertion strings through the formatter: the bytes up to the first NUL are the
// text, each further NUL-separated piece an insertion string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/message_table/format_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> pieces;
  for (size_t start = 0;;) {
    const size_t end = input.find('\0', start);
    pieces.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const std::string text = pieces.front();
  pieces.erase(pieces.begin());
  const std::string formatted = qv::platform::FormatMessageText(text, pieces);
  // A text without escapes comes back unchanged.
  if (text.find('%') == std::string::npos && formatted != text) std::abort();
  return 0;
}
