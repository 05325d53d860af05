#include "support/date_time.h"

#include <cmath>

#include "platform/errors/exception.h"

namespace qv {

namespace {

// Days from 0001-01-01 (day 1) to 1899-12-30, the OLE epoch.
constexpr int64_t kDateDelta = 693594;

int64_t DaysBeforeYear(int year) {
  const int64_t y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime* value) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  int64_t days = DaysBeforeYear(year);
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  days += day;
  *value = static_cast<double>(days - kDateDelta);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int milliseconds, TDateTime* value) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || milliseconds < 0 ||
      milliseconds > 999)
    return false;
  const int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + milliseconds;
  *value = static_cast<double>(ms) / kMillisecondsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime value = 0;
  if (!TryEncodeDate(year, month, day, &value)) throw EConvertError("Invalid argument to date encode");
  return value;
}

TDateTime EncodeTime(int hour, int minute, int second, int milliseconds) {
  TDateTime value = 0;
  if (!TryEncodeTime(hour, minute, second, milliseconds, &value)) throw EConvertError("Invalid argument to time encode");
  return value;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  // As the platform does: the whole part is the day, the absolute fraction the time of day, both
  // taken from the value rounded to the millisecond.
  int64_t total_ms = static_cast<int64_t>(std::llround(value * kMillisecondsPerDay));
  int64_t day_number = total_ms / kMillisecondsPerDay;
  int64_t time_ms = total_ms % kMillisecondsPerDay;
  if (time_ms < 0) time_ms = -time_ms;

  DateTimeParts parts;
  parts.hour = static_cast<int>(time_ms / 3600000);
  parts.minute = static_cast<int>(time_ms / 60000 % 60);
  parts.second = static_cast<int>(time_ms / 1000 % 60);
  parts.milliseconds = static_cast<int>(time_ms % 1000);

  int64_t days = day_number + kDateDelta;  // 1 is 0001-01-01
  if (days <= 0) return parts;             // before the first day of the calendar: no date parts
  parts.day_of_week = static_cast<int>(days % 7) + 1;
  // Walk 400-, 100-, 4- and 1-year cycles from day 0 of year 1.
  int64_t d = days - 1;
  int year = 1;
  year += static_cast<int>(d / 146097) * 400;
  d %= 146097;
  int64_t centuries = d / 36524;
  if (centuries == 4) centuries = 3;
  year += static_cast<int>(centuries) * 100;
  d -= centuries * 36524;
  year += static_cast<int>(d / 1461) * 4;
  d %= 1461;
  int64_t years = d / 365;
  if (years == 4) years = 3;
  year += static_cast<int>(years);
  d -= years * 365;
  int month = 1;
  while (d >= DaysInMonth(year, month)) d -= DaysInMonth(year, month++);
  parts.year = year;
  parts.month = month;
  parts.day = static_cast<int>(d) + 1;
  return parts;
}

TDateTime SystemTimeToDateTime(const platform::SystemTime& time) {
  TDateTime date = 0, clock = 0;
  TryEncodeDate(time.year, time.month, time.day, &date);
  TryEncodeTime(time.hour, time.minute, time.second, time.milliseconds, &clock);
  return date >= 0 ? date + clock : date - clock;
}

platform::SystemTime DateTimeToSystemTime(TDateTime value) {
  const DateTimeParts parts = DecodeDateTime(value);
  platform::SystemTime time;
  time.year = parts.year;
  time.month = parts.month;
  time.day = parts.day;
  time.day_of_week = parts.day_of_week - 1;
  time.hour = parts.hour;
  time.minute = parts.minute;
  time.second = parts.second;
  time.milliseconds = parts.milliseconds;
  return time;
}

TDateTime Now() { return SystemTimeToDateTime(platform::GetLocalTime()); }

TDateTime Date() { return std::floor(Now()); }

}  // namespace qv
