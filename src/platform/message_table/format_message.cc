#include "platform/message_table/format_message.h"

namespace qv::platform {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string FormatMessageText(const std::string& text, const std::vector<std::string>& inserts) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (c != '%' || at + 1 >= text.size()) {
      out += c;
      ++at;
      continue;
    }
    const char escape = text[at + 1];
    if (escape >= '1' && escape <= '9') {
      size_t end = at + 2;
      size_t number = static_cast<size_t>(escape - '0');
      if (end < text.size() && IsDigit(text[end]))
        number = number * 10 + static_cast<size_t>(text[end++] - '0');
      if (end < text.size() && text[end] == '!') {  // a printf-style format: strings need none
        const size_t close = text.find('!', end + 1);
        if (close != std::string::npos) end = close + 1;
      }
      if (number <= inserts.size()) {
        out += inserts[number - 1];
      } else {
        out.append(text, at, end - at);
      }
      at = end;
      continue;
    }
    switch (escape) {
      case '0':
        return out;
      case 'n':
        out += "\r\n";
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'b':
      case ' ':
        out += ' ';
        break;
      case '%':
      case '.':
      case '!':
        out += escape;
        break;
      default:
        out.append(text, at, 2);
        break;
    }
    at += 2;
  }
  return out;
}

}  // namespace qv::platform
