#include "support/general_functions.h"

#include <cmath>

#include "platform/com/guid.h"
#include "platform/locale/locale.h"
#include "platform/process/module.h"
#include "support/date_format.h"
#include "support/text_helpers.h"

namespace qv {

std::string CreateUniqueName(const std::string& prefix) {
  const platform::Guid guid = platform::CreateGuid();
  const std::string digits = HexText(std::string(guid.begin(), guid.end()));
  return prefix.empty() ? digits : prefix + "_" + digits;
}

std::string FormatTimeMs(TDateTime value) {
  // The milliseconds are not cut from frac(frac(value) * 86400) * 1000: in binary floating point
  // that misses by a hair and writes 12:00:00.005 as ".004", and it truncates where the time text
  // rounds, so 12:00:00.9996 would read "12:00:01.999".
  std::string milliseconds = std::to_string(DecodeDateTime(value).milliseconds);
  milliseconds.insert(0, 3 - milliseconds.size(), '0');
  return FormatDateTime(value, platform::CurrentLocale().long_time_format) + "." + milliseconds;
}

namespace {

size_t AfterLastDelimiter(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i)
    if (platform::IsPathDelimiter(path[i - 1])) return i;
  return 0;
}

}  // namespace

std::string ExtractFilePath(const std::string& path) {
  return path.substr(0, AfterLastDelimiter(path));
}

std::string ExtractFileName(const std::string& path) {
  return path.substr(AfterLastDelimiter(path));
}

std::string ExtractFileBaseName(const std::string& path) {
  std::string name = ExtractFileName(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

int64_t MillisecondsOf(TDateTime span) {
  double whole = 0;
  const double fraction = std::modf(span, &whole);
  return static_cast<int64_t>(std::nearbyint(fraction * static_cast<double>(kMillisecondsPerDay)));
}

}  // namespace qv
