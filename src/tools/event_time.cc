#include "tools/event_time.h"

#include <cctype>
#include <cstdio>

#include "platform/clock/clock.h"
#include "support/civil_time.h"

namespace qv::tools {

namespace {

std::string DateTimeText(int year, int month, int day, int hour, int minute, int second, char separator) {
  char text[40];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02d%c%02d:%02d:%02d", year, month, day, separator, hour,
                minute, second);
  return text;
}

bool ReadNumber(const std::string& text, size_t* at, size_t digits, int* value) {
  if (*at + digits > text.size()) return false;
  int number = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = text[*at + i];
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    number = number * 10 + (c - '0');
  }
  *at += digits;
  *value = number;
  return true;
}

bool Expect(const std::string& text, size_t* at, char c) {
  if (*at >= text.size() || text[*at] != c) return false;
  ++*at;
  return true;
}

int64_t LocalMidnight(int64_t unix_seconds) {
  platform::SystemTime local = platform::LocalTimeFromUnixSeconds(unix_seconds);
  local.hour = local.minute = local.second = local.milliseconds = 0;
  return platform::UnixSecondsFromLocalTime(local);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool ParseDigits(const std::string& text, int64_t* value) {
  if (text.empty() || text.size() > 15) return false;
  int64_t number = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    number = number * 10 + (c - '0');
  }
  *value = number;
  return true;
}

}  // namespace

std::string LocalTimeText(int64_t unix_seconds) {
  const platform::SystemTime local = platform::LocalTimeFromUnixSeconds(unix_seconds);
  return DateTimeText(local.year, local.month, local.day, local.hour, local.minute, local.second, ' ');
}

std::string UtcTimeText(int64_t unix_seconds) {
  const platform::SystemTime utc = CivilFromSeconds(unix_seconds);
  return DateTimeText(utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second, 'T') + "Z";
}

bool ParseSinceTime(const std::string& text, int64_t now, int64_t* unix_seconds) {
  if (text == "now") {
    *unix_seconds = now;
    return true;
  }
  if (text == "today" || text == "yesterday") {
    *unix_seconds = LocalMidnight(text == "today" ? now : LocalMidnight(now) - 12 * 3600);
    return true;
  }
  if (text.size() >= 2 && text[0] == '@') {
    int64_t value = 0;
    if (!ParseDigits(text.substr(1), &value)) return false;
    *unix_seconds = value;
    return true;
  }
  if (text.size() >= 3 && text[0] == '-') {
    static constexpr struct {
      char unit;
      int64_t seconds;
    } kUnits[] = {{'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}};
    int64_t count = 0;
    if (!ParseDigits(text.substr(1, text.size() - 2), &count)) return false;
    for (const auto& unit : kUnits) {
      if (text.back() != unit.unit) continue;
      *unix_seconds = now - count * unit.seconds;
      return true;
    }
    return false;
  }
  platform::SystemTime local;
  size_t at = 0;
  if (!ReadNumber(text, &at, 4, &local.year) || !Expect(text, &at, '-') ||
      !ReadNumber(text, &at, 2, &local.month) || !Expect(text, &at, '-') ||
      !ReadNumber(text, &at, 2, &local.day))
    return false;
  if (at < text.size()) {
    if (text[at] != ' ' && text[at] != 'T') return false;
    ++at;
    if (!ReadNumber(text, &at, 2, &local.hour) || !Expect(text, &at, ':') ||
        !ReadNumber(text, &at, 2, &local.minute))
      return false;
    if (at < text.size() && (!Expect(text, &at, ':') || !ReadNumber(text, &at, 2, &local.second)))
      return false;
    if (at != text.size()) return false;
  }
  if (local.month < 1 || local.month > 12 || local.day < 1 ||
      local.day > DaysInMonth(local.year, local.month) || local.hour > 23 || local.minute > 59 ||
      local.second > 59)
    return false;
  *unix_seconds = platform::UnixSecondsFromLocalTime(local);
  return true;
}

}  // namespace qv::tools
