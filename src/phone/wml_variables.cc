#include "phone/wml_variables.h"

#include <climits>
#include <new>
#include <stdexcept>

#include "phone/phone_libraries.h"
#include "platform/text/ascii_text.h"

namespace qv::phone {

namespace {

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameCharacter(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool IsValidName(std::string_view name) {
  if (name.empty() || !IsNameStart(name.front())) return false;
  for (const char c : name) {
    if (!IsNameCharacter(c)) return false;
  }
  return true;
}

enum class Conversion { kEscape, kUnescape, kNone, kInvalid };

Conversion ConversionOf(std::string_view name, VariableContext context) {
  if (name.empty()) return context == VariableContext::kUrl ? Conversion::kEscape : Conversion::kNone;
  const std::string lower = AsciiLowerCase(name);
  if (lower == "e" || lower == "escape") return Conversion::kEscape;
  if (lower == "u" || lower == "unesc") return Conversion::kUnescape;
  if (lower == "n" || lower == "noesc") return Conversion::kNone;
  return Conversion::kInvalid;
}

// The piece that starts with the "$" at text[at].
VariablePiece PieceAtDollar(std::string_view text, size_t at) {
  VariablePiece piece;
  piece.kind = VariablePiece::Kind::kStray;
  piece.source = text.substr(at, 1);
  if (at + 1 >= text.size()) return piece;
  if (text[at + 1] == '$') {
    piece.kind = VariablePiece::Kind::kDollar;
    piece.source = text.substr(at, 2);
    return piece;
  }
  if (text[at + 1] == '(') {
    const size_t close = text.find(')', at + 2);
    if (close == std::string_view::npos) return piece;
    const std::string_view inside = text.substr(at + 2, close - at - 2);
    const size_t colon = inside.find(':');
    const std::string_view name = inside.substr(0, colon);
    const std::string_view conversion = colon == std::string_view::npos ? "" : inside.substr(colon + 1);
    if (!IsValidName(name)) return piece;
    if (colon != std::string_view::npos &&
        ConversionOf(conversion, VariableContext::kText) == Conversion::kInvalid)
      return piece;
    piece.kind = VariablePiece::Kind::kReference;
    piece.source = text.substr(at, close - at + 1);
    piece.name = name;
    piece.conversion = conversion;
    return piece;
  }
  size_t end = at + 1;
  while (end < text.size() && IsNameCharacter(text[end])) ++end;
  const std::string_view name = text.substr(at + 1, end - at - 1);
  if (!IsValidName(name)) return piece;
  piece.kind = VariablePiece::Kind::kReference;
  piece.source = text.substr(at, end - at);
  piece.name = name;
  return piece;
}

std::string CurlResult(char* converted) {
  const CurlText owned(converted);
  if (!owned) throw std::bad_alloc();
  return std::string(owned.get());
}

}  // namespace

std::vector<VariablePiece> SplitVariables(std::string_view text) {
  std::vector<VariablePiece> pieces;
  size_t at = 0;
  while (at < text.size()) {
    const size_t dollar = text.find('$', at);
    if (dollar != at) {
      const std::string_view plain = text.substr(at, dollar - at);
      pieces.push_back(VariablePiece{VariablePiece::Kind::kText, plain, {}, {}});
      if (dollar == std::string_view::npos) break;
    }
    pieces.push_back(PieceAtDollar(text, dollar));
    at = dollar + pieces.back().source.size();
  }
  return pieces;
}

std::string SubstituteVariables(std::string_view text, const WmlVariables& variables,
                                VariableContext context) {
  std::string result;
  for (const VariablePiece& piece : SplitVariables(text)) {
    switch (piece.kind) {
      case VariablePiece::Kind::kText:
      case VariablePiece::Kind::kStray:
        result += piece.source;
        break;
      case VariablePiece::Kind::kDollar:
        result += '$';
        break;
      case VariablePiece::Kind::kReference: {
        const auto found = variables.find(piece.name);
        const std::string_view value = found == variables.end() ? std::string_view() : found->second;
        switch (ConversionOf(piece.conversion, context)) {
          case Conversion::kEscape:
            result += UrlEscape(value);
            break;
          case Conversion::kUnescape:
            result += UrlUnescape(value);
            break;
          default:
            result += value;
        }
        break;
      }
    }
  }
  return result;
}

// libcurl measures a text of length 0 itself, as a C string: an empty one is answered here.
std::string UrlEscape(std::string_view text) {
  if (text.empty()) return std::string();
  UsePhoneLibraries();
  if (text.size() > INT_MAX) throw std::length_error("text too long to escape");
  return CurlResult(curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())));
}

std::string UrlUnescape(std::string_view text) {
  if (text.empty()) return std::string();
  UsePhoneLibraries();
  if (text.size() > INT_MAX) throw std::length_error("text too long to unescape");
  int length = 0;
  const CurlText owned(curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length));
  if (!owned) throw std::bad_alloc();
  return std::string(owned.get(), static_cast<size_t>(length));
}

}  // namespace qv::phone
