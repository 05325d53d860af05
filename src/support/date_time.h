// The date-time value of the system: an OLE automation date, days since 30 December 1899 00:00 as a
// double whose fraction is the time of day.
#pragma once

#include <cstdint>

#include "platform/clock/clock.h"

namespace qv {

using TDateTime = double;

constexpr int64_t kMillisecondsPerDay = 86400000;

// Raises EConvertError for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int milliseconds);
bool TryEncodeDate(int year, int month, int day, TDateTime* value);
bool TryEncodeTime(int hour, int minute, int second, int milliseconds, TDateTime* value);

// The parts of a value; the time is rounded to the nearest millisecond.
struct DateTimeParts {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
  int day_of_week = 0;  // 1 Sunday to 7 Saturday
};
DateTimeParts DecodeDateTime(TDateTime value);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

TDateTime SystemTimeToDateTime(const platform::SystemTime& time);
platform::SystemTime DateTimeToSystemTime(TDateTime value);

// The current local date and time, and today at midnight.
TDateTime Now();
TDateTime Date();

}  // namespace qv
