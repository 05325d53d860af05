// Turns the strftime formats that POSIX locales give for dates and times into the date-time pattern
// language, and derives from them the patterns and separators a locale lacks in that form. Minutes
// are written "nn", so that they never depend on an hour before them.
#pragma once

#include <string>

#include "platform/locale/locale.h"

namespace qv::platform {

// A locale's own formats, which %x, %X, %r and %c stand for (D_FMT, T_FMT, T_FMT_AMPM, D_T_FMT).
struct StrftimeFormats {
  std::string date;
  std::string time;
  std::string time_ampm;
  std::string date_time;
};

enum class StrftimeKind { kDate, kTime };

// One strftime format in the pattern language. In a date format the locale's date separator becomes
// "/", in a time format its time separator ":"; other letters and marks that the pattern language would
// read as elements are quoted. Conversions without an element (time zone, week and day numbers ...) are
// left out, with the blanks at either end.
std::string PatternFromStrftime(const std::string& format, StrftimeKind kind, const StrftimeFormats& formats);

// Fills the short and long date and time patterns and the two separators of info from the formats:
// the short date from %x, the long time from %X, the short time is the long time without its seconds,
// and the long date is built from the order of day, month and year in the short date.
void PatternsFromStrftime(const StrftimeFormats& formats, LocaleInfo* info);

}  // namespace qv::platform
