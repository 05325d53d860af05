// The date and time pattern language: a date-time value written by a pattern whose letters stand for
// the value's parts and for the locale's names, patterns and separators ("dd.mm.yyyy", "hh:nn am/pm").
#pragma once

#include <string>

#include "platform/locale.h"
#include "support/date_time.h"

namespace qv {

// The value written by the pattern with the pieces of the given locale, or of the process's locale.
// Raises EConvertError for a value outside the calendar (before 1 January 1 or after 31 December 9999,
// or not a number).
std::string FormatDateTime(TDateTime value, const std::string& pattern, const platform::LocaleInfo& locale);
std::string FormatDateTime(TDateTime value, const std::string& pattern);

// The default date-time text of a value, the pattern "c": the short date and, unless the time is
// 00:00:00, a blank and the long time.
std::string DateTimeToStr(TDateTime value);

}  // namespace qv
