// The date and time pattern language: a date-time value written by a pattern whose letters stand for
// the value's parts and for the locale's names, patterns and separators ("dd.mm.yyyy", "hh:nn am/pm").
//
// Elements, in either letter case: d dd (day), ddd dddd (weekday names), ddddd dddddd (the locale's
// short and long date), m mm (month, or minutes right after an hour), mmm mmmm (month names), yy yyyy,
// h hh, n nn (minutes), s ss, z zzz (milliseconds), t tt (the locale's short and long time), c (short
// date, and the long time unless it is midnight), am/pm, a/p, ampm (the locale's markers), aaa aaaa
// (weekday names), "/" and ":" (the locale's separators), and text in quotes. A locale pattern is
// inserted one level deep: inside it those elements insert nothing. Once a morning/afternoon element
// has been written, also inside an inserted pattern, later hours of the call use the 12-hour clock.
// An empty pattern gives an empty text; the era letters e and g stand for themselves.
#pragma once

#include <string>

#include "platform/locale/locale.h"
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
