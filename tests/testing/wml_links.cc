#include "testing/wml_links.h"

#include <cstdint>
#include <optional>

namespace qv::testing {

namespace {

constexpr size_t npos = std::string_view::npos;

// The character of a reference that starts at text[at] ("&amp;", "&#62;", "&#x3e;"); *length gets the
// reference's length. Nothing when no reference starts there.
std::optional<char> Reference(std::string_view text, size_t at, size_t* length) {
  const size_t end = text.find(';', at);
  if (end == npos || end - at > 10) return std::nullopt;
  const std::string_view name = text.substr(at + 1, end - at - 1);
  *length = end - at + 1;
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name.size() < 2 || name[0] != '#') return std::nullopt;
  const bool hexadecimal = name[1] == 'x' || name[1] == 'X';
  const std::string_view digits = name.substr(hexadecimal ? 2 : 1);
  if (digits.empty()) return std::nullopt;
  uint32_t code = 0;
  for (const char c : digits) {
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (hexadecimal && c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (hexadecimal && c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    code = code * (hexadecimal ? 16 : 10) + digit;
    if (code > 0xFF) return std::nullopt;  // the single-byte pages hold no other characters
  }
  return static_cast<char>(code);
}

// Markup text with its character references resolved; a "&" that starts none stays.
std::string ResolveReferences(std::string_view text) {
  std::string result;
  for (size_t at = 0; at < text.size(); ++at) {
    size_t length = 0;
    if (text[at] == '&') {
      if (const std::optional<char> c = Reference(text, at, &length)) {
        result += *c;
        at += length - 1;
        continue;
      }
    }
    result += text[at];
  }
  return result;
}

// The value of an attribute in the text of a start tag, still escaped.
std::optional<std::string_view> AttributeValue(std::string_view tag, std::string_view name) {
  const std::string pattern = " " + std::string(name) + "=\"";
  const size_t start = tag.find(pattern);
  if (start == npos) return std::nullopt;
  const size_t value = start + pattern.size();
  const size_t end = tag.find('"', value);
  if (end == npos) return std::nullopt;
  return tag.substr(value, end - value);
}

bool IsUnreservedInUrl(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("-_.!~*'()").find(c) != npos;
}

std::string UrlEscape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result;
  for (const char c : text) {
    if (IsUnreservedInUrl(c)) {
      result += c;
    } else {
      const auto byte = static_cast<uint8_t>(c);
      result += {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
    }
  }
  return result;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlUnescape(std::string_view text) {
  std::string result;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '%' && at + 2 < text.size() && HexDigit(text[at + 1]) >= 0 &&
        HexDigit(text[at + 2]) >= 0) {
      result += static_cast<char>(HexDigit(text[at + 1]) * 16 + HexDigit(text[at + 2]));
      at += 2;
    } else {
      result += text[at];
    }
  }
  return result;
}

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The href with its variables replaced and "$$" made a dollar sign.
std::string SubstituteVariables(std::string_view href, const std::map<std::string, std::string>& variables) {
  const auto value_of = [&](const std::string& name) {
    const auto found = variables.find(name);
    return found == variables.end() ? std::string() : found->second;
  };
  std::string result;
  for (size_t at = 0; at < href.size(); ++at) {
    if (href[at] != '$') {
      result += href[at];
    } else if (at + 1 < href.size() && href[at + 1] == '$') {
      result += '$';
      ++at;
    } else if (at + 1 < href.size() && href[at + 1] == '(') {
      const size_t close = href.find(')', at);
      if (close == npos) {
        result += href.substr(at);
        break;
      }
      const std::string_view reference = href.substr(at + 2, close - at - 2);
      const size_t colon = reference.find(':');
      const std::string value = value_of(std::string(reference.substr(0, colon)));
      const std::string_view conversion = colon == npos ? "e" : reference.substr(colon + 1);
      // In a URL a reference without conversion is escaped.
      if (conversion == "n" || conversion == "noesc") {
        result += value;
      } else if (conversion == "u" || conversion == "unesc") {
        result += UrlUnescape(value);
      } else {
        result += UrlEscape(value);
      }
      at = close;
    } else {
      size_t end = at + 1;
      while (end < href.size() && IsNameCharacter(href[end])) ++end;
      result += UrlEscape(value_of(std::string(href.substr(at + 1, end - at - 1))));
      at = end - 1;
    }
  }
  return result;
}

}  // namespace

std::string MarkupText(std::string_view markup) {
  std::string text;
  for (size_t at = 0; at < markup.size(); ++at) {
    size_t length = 0;
    if (markup[at] == '<') {
      const size_t end = markup.find('>', at);
      if (end == npos) break;
      at = end;
    } else if (markup[at] == '$' && at + 1 < markup.size() && markup[at + 1] == '$') {
      text += '$';
      ++at;
    } else if (markup[at] == '&') {
      if (const std::optional<char> c = Reference(markup, at, &length)) {
        text += *c;
        at += length - 1;
      } else {
        text += '&';
      }
    } else {
      text += markup[at];
    }
  }
  return text;
}

std::vector<WmlLink> DeckLinks(std::string_view markup) {
  std::vector<WmlLink> links;
  for (size_t at = markup.find('<'); at != npos; at = markup.find('<', at + 1)) {
    const size_t name_end = markup.find_first_of(" />", at + 1);
    if (name_end == npos) break;
    const std::string_view name = markup.substr(at + 1, name_end - at - 1);
    if (name != "a" && name != "anchor") continue;
    const size_t tag_end = markup.find('>', at);
    const std::string closing = "</" + std::string(name) + ">";
    const size_t content_end = markup.find(closing, tag_end);
    if (tag_end == npos || content_end == npos) continue;
    const std::string_view content = markup.substr(tag_end + 1, content_end - tag_end - 1);
    std::optional<std::string_view> href;
    if (name == "a") {
      href = AttributeValue(markup.substr(at, tag_end - at), "href");
    } else if (const size_t go = content.find("<go "); go != npos) {
      href = AttributeValue(content.substr(go, content.find('>', go) - go), "href");
    }
    if (!href) continue;
    links.push_back(WmlLink{MarkupText(content), ResolveReferences(*href)});
    at = content_end;
  }
  return links;
}

std::string PhoneUrl(std::string_view base_url, std::string_view href,
                     const std::map<std::string, std::string>& variables) {
  const std::string target = SubstituteVariables(href, variables);
  const std::string_view base = base_url;
  const size_t scheme_end = base.find("://");
  const size_t authority_end = scheme_end == npos ? npos : base.find_first_of("/?#", scheme_end + 3);
  const std::string_view without_fragment = base.substr(0, base.find('#'));
  const std::string_view without_query = without_fragment.substr(0, without_fragment.find('?'));

  const size_t first_delimiter = target.find_first_of("/?#");
  const size_t target_scheme = target.find("://");
  if (target_scheme != npos && target_scheme < first_delimiter) return target;
  if (target.rfind("//", 0) == 0) return std::string(base.substr(0, scheme_end + 1)) + target;
  if (target.rfind('/', 0) == 0) return std::string(base.substr(0, authority_end)) + target;
  if (target.empty()) return std::string(without_fragment);
  if (target[0] == '#') return std::string(without_fragment) + target;
  if (target[0] == '?') return std::string(without_query) + target;
  // A relative path: beside the last segment of the base's path ("/" when it has none).
  if (authority_end == npos || without_query.size() <= authority_end)
    return std::string(without_query) + "/" + target;
  return std::string(without_query.substr(0, without_query.rfind('/') + 1)) + target;
}

}  // namespace qv::testing
