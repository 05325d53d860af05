// Calendar dates without a time zone: days since 1970-01-01 of a proleptic Gregorian date, and a count
// of seconds since 1970-01-01 00:00 as the date and time it names (day_of_week and milliseconds stay 0).
// Any year, also before 1970 and after 9999; no table and no system call.
#pragma once

#include <cstdint>

#include "platform/clock/clock.h"

namespace qv {

int64_t DaysFromCivil(int64_t year, int month, int day);
platform::SystemTime CivilFromSeconds(int64_t seconds);

}  // namespace qv
