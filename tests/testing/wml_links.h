// The links of a WML deck as a phone offers them, and the URL a phone requests when the user picks
// one: for tests that browse the service's pages by following the links the pages carry.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qv::testing {

struct WmlLink {
  std::string label;  // the text the phone shows, unescaped ("<<", not "&lt;&lt;")
  // The target as the deck gives it, its character references resolved; variables stay as
  // references ("$(U:e)") and a dollar sign stays doubled ("$$"), since neither is resolved yet.
  std::string href;

  bool operator==(const WmlLink&) const = default;
};

// The links of a deck in the markup that DecodeWbxmlDeck writes, in document order: every
// <a href="..."> with its text, and every <anchor> with the href of its <go> and its text.
std::vector<WmlLink> DeckLinks(std::string_view markup);

// The text of markup as a phone shows it: the tags left out, the character references resolved and
// "$$" a dollar sign.
std::string MarkupText(std::string_view markup);

// The URL a phone requests for a link on the page it got from base_url. First the variables are
// replaced by the values the user gave (an unset one by nothing), converted as the reference asks:
// ":e" escaped for a URL, ":u" unescaped, ":n" as they are; "$$" becomes a dollar sign. Then the
// result is resolved against base_url: a query alone replaces the base's query, a path from "/"
// replaces its path, a whole URL stands for itself, and other paths go beside the base's last segment.
std::string PhoneUrl(std::string_view base_url, std::string_view href,
                     const std::map<std::string, std::string>& variables);

}  // namespace qv::testing
