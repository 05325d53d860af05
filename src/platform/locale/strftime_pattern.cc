#include "platform/locale/strftime_pattern.h"

#include <utility>
#include <vector>

namespace qv::platform {

namespace {

// A format split into literal text and single conversions, with the composite conversions (%D, %T,
// %x, %r ...) already replaced by what they stand for.
struct Piece {
  bool conversion = false;
  char letter = 0;             // the conversion's letter
  bool unpadded = false;     // the "-" or "_" flag: no leading zero
  bool zero_padded = false;  // the "0" flag
  std::string literal;
};

constexpr int kMaxExpansionDepth = 4;  // a locale whose %x names %c names %x ... ends here

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

void AppendLiteral(std::vector<Piece>* pieces, char c) {
  if (pieces->empty() || pieces->back().conversion) pieces->push_back(Piece{});
  pieces->back().literal += c;
}

void Split(const std::string& format, const StrftimeFormats& formats, int depth, std::vector<Piece>* pieces) {
  if (depth > kMaxExpansionDepth) return;
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i++];
    if (c != '%') {
      AppendLiteral(pieces, c);
      continue;
    }
    Piece piece;
    piece.conversion = true;
    while (i < format.size() && (format[i] == '-' || format[i] == '_' || format[i] == '0' ||
                                 format[i] == '^' || format[i] == '#')) {
      if (format[i] == '-' || format[i] == '_') piece.unpadded = true;
      if (format[i] == '0') piece.zero_padded = true;
      ++i;
    }
    while (i < format.size() && IsAsciiDigit(format[i])) ++i;              // field width
    if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) ++i;  // alternative forms
    if (i >= format.size()) {
      AppendLiteral(pieces, '%');
      break;
    }
    piece.letter = format[i++];
    switch (piece.letter) {
      case '%':
        AppendLiteral(pieces, '%');
        break;
      case 'n':
        AppendLiteral(pieces, ' ');
        break;
      case 't':
        AppendLiteral(pieces, '\t');
        break;
      case 'D':
        Split("%m/%d/%y", formats, depth + 1, pieces);
        break;
      case 'F':
        Split("%Y-%m-%d", formats, depth + 1, pieces);
        break;
      case 'R':
        Split("%H:%M", formats, depth + 1, pieces);
        break;
      case 'T':
        Split("%H:%M:%S", formats, depth + 1, pieces);
        break;
      case 'r':
        Split(formats.time_ampm.empty() ? "%I:%M:%S %p" : formats.time_ampm, formats, depth + 1, pieces);
        break;
      case 'x':
        Split(formats.date, formats, depth + 1, pieces);
        break;
      case 'X':
        Split(formats.time, formats, depth + 1, pieces);
        break;
      case 'c':
        Split(formats.date_time, formats, depth + 1, pieces);
        break;
      default:
        pieces->push_back(piece);
    }
  }
}

std::vector<Piece> Split(const std::string& format, const StrftimeFormats& formats) {
  std::vector<Piece> pieces;
  Split(format, formats, 0, &pieces);
  return pieces;
}

// The pattern element of a conversion; empty for those the pattern language has no element for.
std::string ElementOf(const Piece& piece) {
  switch (piece.letter) {
    case 'd':
      return piece.unpadded ? "d" : "dd";
    case 'e':
      return piece.zero_padded ? "dd" : "d";
    case 'm':
      return piece.unpadded ? "M" : "MM";
    case 'b':
    case 'h':
      return "MMM";
    case 'B':
      return "MMMM";
    case 'a':
      return "ddd";
    case 'A':
      return "dddd";
    case 'y':
    case 'g':
      return "yy";
    case 'Y':
    case 'G':
      return "yyyy";
    case 'H':
      return piece.unpadded ? "H" : "HH";
    case 'k':
      return piece.zero_padded ? "HH" : "H";
    case 'I':
      return piece.unpadded ? "h" : "hh";
    case 'l':
      return piece.zero_padded ? "hh" : "h";
    case 'M':
      return piece.unpadded ? "n" : "nn";
    case 'S':
      return piece.unpadded ? "s" : "ss";
    case 'p':
    case 'P':
      return "ampm";
    default:
      return std::string();
  }
}

// The first mark of a literal that stands between two conversions: the locale's separator.
char SeparatorOf(const std::vector<Piece>& pieces, char fallback) {
  for (size_t i = 1; i + 1 < pieces.size(); ++i) {
    if (pieces[i].conversion || !pieces[i - 1].conversion || !pieces[i + 1].conversion) continue;
    for (const char c : pieces[i].literal)
      if (c != ' ' && c != '\t' && !IsAsciiLetter(c) && !IsAsciiDigit(c)) return c;
  }
  return fallback;
}

bool NeedsQuotes(char c) {
  return IsAsciiLetter(c) || c == '/' || c == ':';
}

std::string Render(const std::vector<Piece>& pieces, StrftimeKind kind, char date_separator,
                   char time_separator) {
  std::string pattern;
  for (const Piece& piece : pieces) {
    if (piece.conversion) {
      pattern += ElementOf(piece);
      continue;
    }
    const std::string& text = piece.literal;
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (kind == StrftimeKind::kDate && c == date_separator) {
        pattern += '/';
      } else if (kind == StrftimeKind::kTime && c == time_separator) {
        pattern += ':';
      } else if (c == '\'') {
        pattern += "\"'\"";
      } else if (c == '"') {
        pattern += "'\"'";
      } else if (NeedsQuotes(c)) {
        // One quoted run for a word, so that "Uhr" reads 'Uhr'.
        size_t end = i + 1;
        while (end < text.size() && NeedsQuotes(text[end]) &&
               !(kind == StrftimeKind::kDate && text[end] == date_separator) &&
               !(kind == StrftimeKind::kTime && text[end] == time_separator))
          ++end;
        pattern += '\'' + text.substr(i, end - i) + '\'';
        i = end - 1;
      } else {
        pattern += c;
      }
    }
  }
  const size_t first = pattern.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = pattern.find_last_not_of(" \t");
  return pattern.substr(first, last - first + 1);
}

// The time pieces without the seconds and the separator that leads to them.
std::vector<Piece> WithoutSeconds(std::vector<Piece> pieces) {
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (!pieces[i].conversion || pieces[i].letter != 'S') continue;
    if (i >= 2 && !pieces[i - 1].conversion && pieces[i - 2].conversion) {
      pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(i) - 1,
                   pieces.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    } else if (i + 2 < pieces.size() && !pieces[i + 1].conversion && pieces[i + 2].conversion) {
      pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(i),
                   pieces.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    } else {
      pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(i));
    }
    break;
  }
  return pieces;
}

// The long date in the order the short date shows day, month and year: POSIX locales have no long date
// format of their own.
std::string LongDateFor(const std::vector<Piece>& date_pieces, char date_separator) {
  std::string order;
  for (const Piece& piece : date_pieces) {
    if (!piece.conversion) continue;
    char part = 0;
    switch (piece.letter) {
      case 'd':
      case 'e':
        part = 'd';
        break;
      case 'm':
      case 'b':
      case 'B':
      case 'h':
        part = 'm';
        break;
      case 'y':
      case 'Y':
      case 'g':
      case 'G':
        part = 'y';
        break;
      default:
        break;
    }
    if (part != 0 && order.find(part) == std::string::npos) order += part;
  }
  if (order == "dmy") return date_separator == '.' ? "dddd, d. MMMM yyyy" : "dddd, d MMMM yyyy";
  if (order == "ymd") return "dddd, yyyy MMMM d";
  return "dddd, MMMM d, yyyy";
}

}  // namespace

std::string PatternFromStrftime(const std::string& format, StrftimeKind kind,
                                const StrftimeFormats& formats) {
  const char date_separator = SeparatorOf(Split(formats.date, formats), '/');
  const char time_separator = SeparatorOf(Split(formats.time, formats), ':');
  return Render(Split(format, formats), kind, date_separator, time_separator);
}

void PatternsFromStrftime(const StrftimeFormats& formats, LocaleInfo* info) {
  const std::vector<Piece> date = Split(formats.date, formats);
  const std::vector<Piece> time = Split(formats.time, formats);
  info->date_separator = SeparatorOf(date, '/');
  info->time_separator = SeparatorOf(time, ':');
  // A format the locale leaves empty keeps the pattern info already holds.
  const auto keep_or_set = [](std::string* field, std::string pattern) {
    if (!pattern.empty()) *field = std::move(pattern);
  };
  keep_or_set(&info->short_date_format,
              Render(date, StrftimeKind::kDate, info->date_separator, info->time_separator));
  if (!date.empty()) info->long_date_format = LongDateFor(date, info->date_separator);
  keep_or_set(&info->long_time_format,
              Render(time, StrftimeKind::kTime, info->date_separator, info->time_separator));
  keep_or_set(&info->short_time_format,
              Render(WithoutSeconds(time), StrftimeKind::kTime, info->date_separator, info->time_separator));
}

}  // namespace qv::platform
