// Small stateless helpers shared by the subsystems: unique endpoint names, time texts with
// milliseconds, file base names and date-time spans in milliseconds.
#pragma once

#include <cstdint>
#include <string>

#include "support/date_time.h"

namespace qv {

// 32 upper-case hexadecimal digits of a new GUID in memory order; with a prefix, prefix + "_" + digits.
std::string CreateUniqueName(const std::string& prefix);

// The long time text of the locale, a point and the milliseconds in three digits ("1:05:09 PM.005").
// Both parts come from the value rounded to the millisecond, so they always name the same instant.
std::string FormatTimeMs(TDateTime value);

// The file name of a path without its directory and without the part from its last "." on.
std::string ExtractFileBaseName(const std::string& path);
// The directory part of a path, up to and including its last path delimiter; empty when it has none.
std::string ExtractFilePath(const std::string& path);
// The part after the last path delimiter.
std::string ExtractFileName(const std::string& path);

// The nearest whole number (ties to even) of milliseconds in the fraction of a day of a span; whole
// days are dropped.
int64_t MillisecondsOf(TDateTime span);

}  // namespace qv
