#include "exchange/page_text.h"

#include "support/text_helpers.h"

namespace qv {

namespace {

bool IsLeftOut(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

}  // namespace

std::string PageText(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (const char c : text) {
    if (!IsLeftOut(static_cast<unsigned char>(c))) kept += c;
  }
  const std::string escaped = EscapeText(kept);
  std::string result;
  result.reserve(escaped.size());
  for (const char c : escaped) {
    result += c;
    if (c == '$') result += '$';
  }
  return result;
}

std::string FirstChars(std::string_view text, int64_t count) {
  if (count <= 0) return std::string();
  return std::string(text.substr(0, static_cast<size_t>(count)));
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
