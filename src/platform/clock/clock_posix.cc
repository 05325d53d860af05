#include <time.h>

#include <cerrno>

#include "platform/clock/clock.h"

namespace qv::platform {

namespace {

SystemTime FromTm(const struct tm& parts, int milliseconds) {
  SystemTime result;
  result.year = parts.tm_year + 1900;
  result.month = parts.tm_mon + 1;
  result.day = parts.tm_mday;
  result.day_of_week = parts.tm_wday;
  result.hour = parts.tm_hour;
  result.minute = parts.tm_min;
  result.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
  result.milliseconds = milliseconds;
  return result;
}

}  // namespace

uint32_t GetTickCount() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void Sleep(uint32_t milliseconds) {
  struct timespec remaining;
  remaining.tv_sec = milliseconds / 1000;
  remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

SystemTime GetLocalTime() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm parts;
  localtime_r(&now.tv_sec, &parts);
  return FromTm(parts, static_cast<int>(now.tv_nsec / 1000000L));
}

SystemTime LocalTimeFromUnixSeconds(int64_t unix_seconds) {
  const time_t seconds = static_cast<time_t>(unix_seconds);
  struct tm parts;
  localtime_r(&seconds, &parts);
  return FromTm(parts, 0);
}

int64_t UnixSecondsFromLocalTime(const SystemTime& local) {
  struct tm parts = {};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&parts));
}

}  // namespace qv::platform
