// The locale pieces from the system's locale data (GetLocaleInfoEx): the user's default locale, or a
// named one. Windows patterns ("dd.MM.yyyy", "HH:mm:ss", "h:mm:ss tt") are turned into the pattern
// language: the locale's separators into "/" and ":", tt into AMPM, minutes into nn, and literal
// letters and marks into quoted text.
#include <string>

#include "platform/locale/locale.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

// The short date's separator is the locale's date separator ("/" in the pattern language); other
// marks of the long date are its own text.
enum class PatternKind { kShortDate, kLongDate, kTime };

class LocaleReader {
 public:
  explicit LocaleReader(std::wstring name) : name_(std::move(name)) {}
  bool Read(LCTYPE item, std::string* text) const {
    wchar_t buffer[256];
    const int length = ::GetLocaleInfoEx(name_.empty() ? LOCALE_NAME_USER_DEFAULT : name_.c_str(), item,
                                         buffer, static_cast<int>(std::size(buffer)));
    if (length <= 0) return false;
    *text = win32::NarrowBuffer(buffer, static_cast<size_t>(length));
    return true;
  }

 private:
  std::wstring name_;
};

bool IsPatternLetter(char c) {
  return c == 'd' || c == 'M' || c == 'y' || c == 'g' || c == 'h' || c == 'H' || c == 'm' || c == 's' ||
         c == 't';
}

std::string Quoted(const std::string& text) {
  return text.empty() ? text : "\"" + text + "\"";
}

// One Windows date or time pattern in the pattern language.
std::string PatternFromWindows(const std::string& pattern, PatternKind kind, char date_separator,
                               char time_separator) {
  std::string result;
  std::string literal;  // text waiting to be written quoted
  auto flush = [&] {
    result += Quoted(literal);
    literal.clear();
  };
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '\'') {  // quoted text; '' is a quote
      size_t end = i + 1;
      while (end < pattern.size()) {
        if (pattern[end] == '\'' && end + 1 < pattern.size() && pattern[end + 1] == '\'') {
          literal += '\'';
          end += 2;
          continue;
        }
        if (pattern[end] == '\'') break;
        literal += pattern[end++];
      }
      i = end + 1;
      continue;
    }
    if (IsPatternLetter(c)) {
      size_t run = 1;
      while (i + run < pattern.size() && pattern[i + run] == c) ++run;
      flush();
      switch (c) {
        case 'H':
          result += std::string(run > 1 ? 2 : 1, 'H');  // 24 hours unless an AMPM follows
          break;
        case 'm':
          result += std::string(run > 1 ? 2 : 1, 'n');
          break;
        case 't':
          result += "AMPM";
          break;
        case 'g':  // the era: not in the pattern language
          break;
        default:
          result += std::string(run, c);
      }
      i += run;
      continue;
    }
    if (kind == PatternKind::kShortDate && c == date_separator) {
      flush();
      result += '/';
    } else if (kind == PatternKind::kTime && c == time_separator) {
      flush();
      result += ':';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '/' || c == ':' || c == '"') {
      literal += c;
    } else {
      flush();
      result += c;
    }
    ++i;
  }
  flush();
  // Blanks the era left at the ends.
  while (!result.empty() && result.front() == ' ') result.erase(0, 1);
  while (!result.empty() && result.back() == ' ') result.pop_back();
  return result;
}

bool ReadPieces(const LocaleReader& reader, LocaleInfo* info) {
  std::string text;
  if (!reader.Read(LOCALE_SDATE, &text) || text.empty()) return false;
  info->date_separator = text[0];
  if (reader.Read(LOCALE_STIME, &text) && !text.empty()) info->time_separator = text[0];
  if (reader.Read(LOCALE_SDECIMAL, &text) && !text.empty()) info->decimal_separator = text[0];
  if (reader.Read(LOCALE_S1159, &text)) info->time_am_string = text;
  if (reader.Read(LOCALE_S2359, &text)) info->time_pm_string = text;

  const char date = info->date_separator;
  const char time = info->time_separator;
  if (reader.Read(LOCALE_SSHORTDATE, &text))
    info->short_date_format = PatternFromWindows(text, PatternKind::kShortDate, date, time);
  if (reader.Read(LOCALE_SLONGDATE, &text))
    info->long_date_format = PatternFromWindows(text, PatternKind::kLongDate, date, time);
  if (reader.Read(LOCALE_STIMEFORMAT, &text))
    info->long_time_format = PatternFromWindows(text, PatternKind::kTime, date, time);
  if (reader.Read(LOCALE_SSHORTTIME, &text))
    info->short_time_format = PatternFromWindows(text, PatternKind::kTime, date, time);

  for (int month = 0; month < 12; ++month) {
    if (reader.Read(LOCALE_SABBREVMONTHNAME1 + month, &text)) info->short_month_names[month] = text;
    if (reader.Read(LOCALE_SMONTHNAME1 + month, &text)) info->long_month_names[month] = text;
  }
  // The system counts the days from Monday (SDAYNAME1); ours from Sunday.
  for (int day = 0; day < 7; ++day) {
    const int system_day = (day + 6) % 7;
    if (reader.Read(LOCALE_SABBREVDAYNAME1 + system_day, &text)) info->short_day_names[day] = text;
    if (reader.Read(LOCALE_SDAYNAME1 + system_day, &text)) info->long_day_names[day] = text;
  }
  return true;
}

bool IsCLocale(const std::string& name) {
  return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// "de_DE.UTF-8" and "de_DE@euro" name the locale the system calls "de-DE".
std::wstring SystemLocaleName(const std::string& name) {
  std::string system = name.substr(0, name.find_first_of(".@"));
  for (char& c : system)
    if (c == '_') c = '-';
  return win32::Wide(system);
}

}  // namespace

bool ReadLocaleInfo(const std::string& locale_name, LocaleInfo* info) {
  *info = UnitedStatesLocale();
  if (IsCLocale(locale_name)) return true;
  const std::wstring name = SystemLocaleName(locale_name);
  if (name.empty() || !::IsValidLocaleName(name.c_str()) || !ReadPieces(LocaleReader(name), info)) {
    *info = UnitedStatesLocale();
    return false;
  }
  return true;
}

const LocaleInfo& CurrentLocale() {
  static const LocaleInfo info = [] {
    LocaleInfo result = UnitedStatesLocale();
    if (!ReadPieces(LocaleReader(std::wstring()), &result)) result = UnitedStatesLocale();
    return result;
  }();
  return info;
}

}  // namespace qv::platform
