// Time as the platform keeps it: the 32-bit millisecond tick, sleeping, and the local wall-clock time.
#pragma once

#include <cstdint>

namespace qv::platform {

// Milliseconds since an arbitrary start; wraps around every 2^32 ms (about 49.7 days), as GetTickCount.
uint32_t GetTickCount();

// Suspends the calling thread for at least the given number of milliseconds.
void Sleep(uint32_t milliseconds);

// A broken-down date and time (SYSTEMTIME's fields). day_of_week: 0 Sunday to 6 Saturday.
struct SystemTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int day_of_week = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

// The current local date and time of the machine.
SystemTime GetLocalTime();

// Seconds since 1970-01-01 00:00 UTC turned into the machine's local time, and back. The way back
// takes a local time that falls into a daylight-saving gap or overlap as the system's mktime does.
SystemTime LocalTimeFromUnixSeconds(int64_t unix_seconds);
int64_t UnixSecondsFromLocalTime(const SystemTime& local);

}  // namespace qv::platform
