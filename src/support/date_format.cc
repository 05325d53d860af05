#include "support/date_format.h"

#include <algorithm>

#include "platform/errors/exception.h"
#include "platform/text/ascii_text.h"
#include "support/convert.h"

namespace qv {

namespace {

// The pattern itself is level 1; a locale pattern it inserts is level 2 and inserts none of its own.
constexpr int kMaxNesting = 2;

// 1 January 1 and the day after 31 December 9999 as date-time values.
constexpr double kFirstDay = -693593.0;
constexpr double kDayAfterLast = 2958466.0;

enum class ElementKind {
  kLetters,        // a run of one letter in one case
  kAmPm,           // am/pm
  kAP,             // a/p
  kLocaleMarker,   // ampm
  kQuoted,         // '...' or "..."
  kDateSeparator,  // /
  kTimeSeparator,  // :
  kOther,          // any other character
};

struct Element {
  ElementKind kind = ElementKind::kOther;
  size_t start = 0;
  size_t length = 1;  // characters of the pattern it takes
  char letter = 0;    // kLetters: the letter in upper case
  int count = 0;      // kLetters: the number of letters
};

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWithNoCase(const std::string& text, size_t pos, std::string_view word) {
  if (text.size() - pos < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (AsciiUpper(text[pos + i]) != AsciiUpper(word[i])) return false;
  return true;
}

Element NextElement(const std::string& pattern, size_t pos) {
  Element element;
  element.start = pos;
  const char c = pattern[pos];
  if (c == '\'' || c == '"') {
    const size_t close = pattern.find(c, pos + 1);
    element.kind = ElementKind::kQuoted;
    element.length = (close == std::string::npos ? pattern.size() : close + 1) - pos;
  } else if (c == '/') {
    element.kind = ElementKind::kDateSeparator;
  } else if (c == ':') {
    element.kind = ElementKind::kTimeSeparator;
  } else if (StartsWithNoCase(pattern, pos, "am/pm")) {
    element.kind = ElementKind::kAmPm;
    element.length = 5;
  } else if (StartsWithNoCase(pattern, pos, "a/p")) {
    element.kind = ElementKind::kAP;
    element.length = 3;
  } else if (StartsWithNoCase(pattern, pos, "ampm")) {
    element.kind = ElementKind::kLocaleMarker;
    element.length = 4;
  } else if (IsAsciiLetter(c)) {
    size_t end = pos + 1;
    while (end < pattern.size() && pattern[end] == c) ++end;
    element.kind = ElementKind::kLetters;
    element.letter = AsciiUpper(c);
    element.count = static_cast<int>(end - pos);
    element.length = end - pos;
  }
  return element;
}

bool IsMarker(ElementKind kind) {
  return kind == ElementKind::kAmPm || kind == ElementKind::kAP || kind == ElementKind::kLocaleMarker;
}

// Whether a morning/afternoon element comes after pos before the next hour element.
bool MarkerFollows(const std::string& pattern, size_t pos) {
  while (pos < pattern.size()) {
    const Element element = NextElement(pattern, pos);
    if (IsMarker(element.kind)) return true;
    if (element.kind == ElementKind::kLetters && element.letter == 'H') return false;
    pos += element.length;
  }
  return false;
}

class Formatter {
 public:
  Formatter(TDateTime value, const platform::LocaleInfo& locale)
      : parts_(DecodeDateTime(value)), locale_(locale) {}

  void Append(const std::string& pattern, int level);
  std::string Take() { return std::move(text_); }

 private:
  void AppendLetters(const Element& element, char letter, const std::string& pattern, int level);
  void AppendNested(const std::string& pattern, int level) {
    if (level <= kMaxNesting) Append(pattern, level);
  }
  void AppendNumber(int number, int digits) {
    const std::string text = std::to_string(number);
    if (static_cast<int>(text.size()) < digits) text_.append(static_cast<size_t>(digits) - text.size(), '0');
    text_ += text;
  }
  bool IsMorning() const { return parts_.hour < 12; }
  const std::string& DayName(bool full) const {
    const size_t index = static_cast<size_t>(parts_.day_of_week - 1);
    return full ? locale_.long_day_names[index] : locale_.short_day_names[index];
  }

  const DateTimeParts parts_;
  const platform::LocaleInfo& locale_;
  bool marker_met_ = false;  // a morning/afternoon element has been written: hours go on the 12-hour clock
  std::string text_;
};

void Formatter::Append(const std::string& pattern, int level) {
  char last_letter = 0;
  size_t pos = 0;
  while (pos < pattern.size()) {
    const Element element = NextElement(pattern, pos);
    pos += element.length;
    switch (element.kind) {
      case ElementKind::kQuoted: {
        const bool closed =
            element.length >= 2 && pattern[element.start + element.length - 1] == pattern[element.start];
        text_.append(pattern, element.start + 1, element.length - (closed ? 2 : 1));
        break;
      }
      case ElementKind::kDateSeparator:
        if (locale_.date_separator != '\0') text_ += locale_.date_separator;
        break;
      case ElementKind::kTimeSeparator:
        if (locale_.time_separator != '\0') text_ += locale_.time_separator;
        break;
      case ElementKind::kAmPm:  // "am" or "pm" as the pattern writes them
        text_.append(pattern, element.start + (IsMorning() ? 0 : 3), 2);
        marker_met_ = true;
        last_letter = 'A';
        break;
      case ElementKind::kAP:
        text_ += pattern[element.start + (IsMorning() ? 0 : 2)];
        marker_met_ = true;
        last_letter = 'A';
        break;
      case ElementKind::kLocaleMarker:
        text_ += IsMorning() ? locale_.time_am_string : locale_.time_pm_string;
        marker_met_ = true;
        last_letter = 'A';
        break;
      case ElementKind::kLetters: {
        // m or mm right after an hour element means minutes; month names stay month names.
        const char letter =
            element.letter == 'M' && element.count <= 2 && last_letter == 'H' ? 'N' : element.letter;
        last_letter = letter;
        AppendLetters(element, letter, pattern, level);
        break;
      }
      case ElementKind::kOther:
        text_ += pattern[element.start];
        break;
    }
  }
}

void Formatter::AppendLetters(const Element& element, char letter, const std::string& pattern, int level) {
  const int count = element.count;
  switch (letter) {
    case 'Y':
      if (count <= 2) {
        AppendNumber(parts_.year % 100, 2);
      } else {
        AppendNumber(parts_.year, 4);
      }
      break;
    case 'M':
      if (count <= 2) {
        AppendNumber(parts_.month, count);
      } else {
        const size_t index = static_cast<size_t>(parts_.month - 1);
        text_ += count == 3 ? locale_.short_month_names[index] : locale_.long_month_names[index];
      }
      break;
    case 'D':
      if (count <= 2) {
        AppendNumber(parts_.day, count);
      } else if (count <= 4) {
        text_ += DayName(count == 4);
      } else {
        AppendNested(count == 5 ? locale_.short_date_format : locale_.long_date_format, level + 1);
      }
      break;
    case 'H': {
      const bool twelve_hour = marker_met_ || MarkerFollows(pattern, element.start + element.length);
      int hour = parts_.hour;
      if (twelve_hour) {
        if (hour == 0) {
          hour = 12;
        } else if (hour > 12) {
          hour -= 12;
        }
      }
      AppendNumber(hour, std::min(count, 2));
      break;
    }
    case 'N':
      AppendNumber(parts_.minute, std::min(count, 2));
      break;
    case 'S':
      AppendNumber(parts_.second, std::min(count, 2));
      break;
    case 'Z':
      AppendNumber(parts_.milliseconds, std::min(count, 3));
      break;
    case 'T':
      AppendNested(count == 1 ? locale_.short_time_format : locale_.long_time_format, level + 1);
      break;
    case 'C':
      if (level + 1 > kMaxNesting) break;
      Append(locale_.short_date_format, level + 1);
      if (parts_.hour != 0 || parts_.minute != 0 || parts_.second != 0) {
        text_ += ' ';
        Append(locale_.long_time_format, level + 1);
      }
      break;
    case 'A':  // three or four a: weekday names; other runs stand for themselves
      if (count == 3 || count == 4) {
        text_ += DayName(count == 4);
      } else {
        text_.append(pattern, element.start, element.length);
      }
      break;
    default:
      text_.append(pattern, element.start, element.length);
      break;
  }
}

}  // namespace

std::string FormatDateTime(TDateTime value, const std::string& pattern, const platform::LocaleInfo& locale) {
  if (!(value > kFirstDay - 1.0 && value < kDayAfterLast))
    throw EConvertError("'" + FloatToStr(value, '.') + "' is not a valid date and time");
  Formatter formatter(value, locale);
  formatter.Append(pattern, 1);
  return formatter.Take();
}

std::string FormatDateTime(TDateTime value, const std::string& pattern) {
  return FormatDateTime(value, pattern, platform::CurrentLocale());
}

std::string DateTimeToStr(TDateTime value) {
  return FormatDateTime(value, "c");
}

}  // namespace qv
