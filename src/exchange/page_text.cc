#include "exchange/page_text.h"

#include "platform/text/ascii_text.h"
#include "platform/text/code_page.h"
#include "support/percent_encoding.h"
#include "support/text_helpers.h"

namespace qv {

namespace {

bool IsLeftOut(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

bool IsWindows1252Extra(unsigned char c) {
  return c >= 0x80 && c <= 0x9F;
}

// The names and aliases of ISO-8859-1 that the IANA character-set registry lists, in lower case.
constexpr std::string_view kLatin1Names[] = {"iso-8859-1", "iso_8859-1", "iso_8859-1:1987",
                                             "iso-ir-100", "latin1",     "l1",
                                             "ibm819",     "cp819",      "csisolatin1"};

// What one character of a text becomes in a page; empty when it is left out.
std::string PageCharacter(char c, DeckCharset charset) {
  const auto byte = static_cast<unsigned char>(c);
  if (IsLeftOut(byte)) return std::string();
  if (c == '$') return "$$";
  std::string entity;
  if (CharToEntity(c, &entity)) return entity;
  if (byte < 0x80) return std::string(1, c);
  // The undefined bytes keep their own value (the C1 controls): Windows-1252 gives them no character.
  const char16_t unicode = platform::AnsiToWide(std::string_view(&c, 1))[0];
  if (IsWindows1252Extra(byte) && unicode == byte) return std::string();
  const bool as_byte =
      charset == DeckCharset::kWindows1252 || (charset == DeckCharset::kLatin1 && !IsWindows1252Extra(byte));
  if (as_byte) return std::string(1, c);
  return "&#" + std::to_string(static_cast<uint32_t>(unicode)) + ";";
}

}  // namespace

DeckCharset DeckCharsetOf(std::string_view char_set_name) {
  const std::string name = AsciiLowerCase(char_set_name);
  if (name == "windows-1252") return DeckCharset::kWindows1252;
  for (const std::string_view latin1 : kLatin1Names)
    if (name == latin1) return DeckCharset::kLatin1;
  return DeckCharset::kOther;
}

std::string PageText(std::string_view text, DeckCharset charset) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) result += PageCharacter(c, charset);
  return result;
}

std::string PageTextWithin(std::string_view text, int64_t limit, DeckCharset charset) {
  std::string result;
  for (const char c : text) {
    const std::string piece = PageCharacter(c, charset);
    if (static_cast<int64_t>(result.size() + piece.size()) > limit) break;
    result += piece;
  }
  return result;
}

std::string FirstChars(std::string_view text, int64_t count) {
  if (count <= 0) return std::string();
  return std::string(text.substr(0, static_cast<size_t>(count)));
}

std::string LinkValue(std::string_view value) {
  return PercentEncode(value);
}

std::string PageLink(std::string_view mailbox, std::string_view password, std::string_view kind,
                     int64_t index) {
  std::string link = "?U=";
  link += mailbox;
  link += "&amp;P=";
  link += password;
  link += "&amp;E=";
  link += kind;
  link += "&amp;X=";
  link += std::to_string(index);
  return link;
}

std::string Anchor(std::string_view link, std::string_view label) {
  std::string anchor = "<a href=\"";
  anchor += link;
  anchor += "\">";
  anchor += label;
  anchor += "</a>";
  return anchor;
}

}  // namespace qv
