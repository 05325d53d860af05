#include "support/convert.h"

#include <charconv>
#include <cmath>

#include "platform/errors/exception.h"

namespace qv {

namespace {

size_t SkipBlanks(const std::string& text, size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  return at;
}

}  // namespace

std::optional<int32_t> TryStrToInt(const std::string& text) {
  size_t at = SkipBlanks(text, 0);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at >= text.size()) return std::nullopt;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

int32_t StrToInt(const std::string& text) {
  if (auto value = TryStrToInt(text)) return *value;
  throw EConvertError("'" + text + "' is not a valid integer value");
}

int32_t StrToIntDef(const std::string& text, int32_t fallback) { return TryStrToInt(text).value_or(fallback); }

std::optional<double> TryStrToFloat(const std::string& text, char decimal_separator) {
  size_t at = SkipBlanks(text, 0);
  size_t end = text.size();
  while (end > at && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  std::string plain;  // the number in the C locale's notation, for strtod
  size_t digits = 0;
  if (at < end && (text[at] == '+' || text[at] == '-')) plain += text[at++];
  bool separator_seen = false;
  for (; at < end; ++at) {
    const char c = text[at];
    if (c >= '0' && c <= '9') {
      plain += c;
      ++digits;
    } else if (c == decimal_separator && !separator_seen) {
      plain += '.';
      separator_seen = true;
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  if (at < end && (text[at] == 'e' || text[at] == 'E')) {
    plain += 'e';
    ++at;
    if (at < end && (text[at] == '+' || text[at] == '-')) plain += text[at++];
    size_t exponent_digits = 0;
    for (; at < end && text[at] >= '0' && text[at] <= '9'; ++at, ++exponent_digits) plain += text[at];
    if (exponent_digits == 0) return std::nullopt;
  }
  if (at != end) return std::nullopt;
  double value = 0;
  const char* first = plain.data() + (plain[0] == '+' ? 1 : 0);
  const auto [rest, error] = std::from_chars(first, plain.data() + plain.size(), value);
  if (error != std::errc() || rest != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

double StrToFloat(const std::string& text, char decimal_separator) {
  if (auto value = TryStrToFloat(text, decimal_separator)) return *value;
  throw EConvertError("'" + text + "' is not a valid floating point value");
}

std::string FloatToStr(double value, char decimal_separator) {
  // to_chars is independent of the C locale and writes the shortest text that reads back the same.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  std::string text(buffer, result.ptr);
  for (char& c : text)
    if (c == '.') c = decimal_separator;
  return text;
}

}  // namespace qv
