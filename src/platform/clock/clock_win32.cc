// The tick, sleeping and local time from the system; conversions between UTC and local time go
// through the system's time zone (SystemTimeToTzSpecificLocalTime and back).
#include "platform/clock/clock.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

// 100-ns intervals between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;
constexpr int64_t kFileTimePerSecond = 10000000LL;

SystemTime FromSystemTime(const SYSTEMTIME& time) {
  SystemTime result;
  result.year = time.wYear;
  result.month = time.wMonth;
  result.day = time.wDay;
  result.day_of_week = time.wDayOfWeek;
  result.hour = time.wHour;
  result.minute = time.wMinute;
  result.second = time.wSecond;
  result.milliseconds = time.wMilliseconds;
  return result;
}

}  // namespace

uint32_t GetTickCount() {
  return ::GetTickCount();
}

void Sleep(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

SystemTime GetLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FromSystemTime(now);
}

SystemTime LocalTimeFromUnixSeconds(int64_t unix_seconds) {
  const int64_t ticks = unix_seconds * kFileTimePerSecond + kUnixEpochInFileTime;
  FILETIME file_time;
  file_time.dwLowDateTime = static_cast<DWORD>(ticks);
  file_time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME utc;
  SYSTEMTIME local;
  if (!::FileTimeToSystemTime(&file_time, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return SystemTime{};
  return FromSystemTime(local);
}

int64_t UnixSecondsFromLocalTime(const SystemTime& local) {
  SYSTEMTIME local_time = {};
  local_time.wYear = static_cast<WORD>(local.year);
  local_time.wMonth = static_cast<WORD>(local.month);
  local_time.wDay = static_cast<WORD>(local.day);
  local_time.wHour = static_cast<WORD>(local.hour);
  local_time.wMinute = static_cast<WORD>(local.minute);
  local_time.wSecond = static_cast<WORD>(local.second);
  SYSTEMTIME utc;
  FILETIME file_time;
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local_time, &utc) ||
      !::SystemTimeToFileTime(&utc, &file_time))
    return -1;
  const int64_t ticks = (static_cast<int64_t>(file_time.dwHighDateTime) << 32) | file_time.dwLowDateTime;
  return (ticks - kUnixEpochInFileTime) / kFileTimePerSecond;
}

}  // namespace qv::platform
