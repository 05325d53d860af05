// The locale pieces that dates, times and numbers are written with: the patterns (in the pattern
// language of the date-time formatter), names, separators and markers. They come from the process's
// POSIX locale (LC_TIME, LC_NUMERIC); in the C locale they are the United States English pieces.
#pragma once

#include <array>
#include <string>

namespace qv::platform {

struct LocaleInfo {
  std::string short_date_format;  // "M/d/yyyy"
  std::string long_date_format;   // "dddd, MMMM d, yyyy"
  std::string short_time_format;  // "h:mm AMPM"
  std::string long_time_format;   // "h:mm:ss AMPM"
  std::array<std::string, 12> short_month_names;  // "Jan" ...
  std::array<std::string, 12> long_month_names;   // "January" ...
  std::array<std::string, 7> short_day_names;     // "Sun" ... (Sunday first)
  std::array<std::string, 7> long_day_names;      // "Sunday" ...
  char date_separator = '/';
  char time_separator = ':';
  std::string time_am_string;  // "AM"
  std::string time_pm_string;  // "PM"
  char decimal_separator = '.';

  friend bool operator==(const LocaleInfo&, const LocaleInfo&) = default;
};

// The locale in effect for the process, read once on first use: the locale the environment names for
// dates and times and the one it names for numbers. A locale that is not available counts as the C
// locale.
const LocaleInfo& CurrentLocale();

// The pieces of a named locale (a POSIX locale name such as "de_DE.UTF-8"). False, with the United
// States English pieces in *info, when the locale is not available.
bool ReadLocaleInfo(const std::string& locale_name, LocaleInfo* info);

// The United States English pieces (what the C locale gives).
LocaleInfo UnitedStatesLocale();

}  // namespace qv::platform
