// WML variable references as a phone resolves them: "$name", "$(name)" and "$(name:conversion)"
// (e or escape: URL-escaped; u or unesc: URL-unescaped; n or noesc: as it stands), and "$$" for a
// dollar sign. Names are a letter or "_", then letters, digits and "_"; conversions in any case.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qv::phone {

using WmlVariables = std::map<std::string, std::string, std::less<>>;

// One piece of a text, in order.
struct VariablePiece {
  enum class Kind {
    kText,       // plain text
    kReference,  // a variable reference
    kDollar,     // "$$"
    kStray,      // a "$" that starts no valid reference: a gateway refuses a deck that holds one
  };
  Kind kind = Kind::kText;
  std::string_view source;      // the piece as it stands in the text
  std::string_view name;        // a reference's variable
  std::string_view conversion;  // a reference's conversion, empty when it names none
};

std::vector<VariablePiece> SplitVariables(std::string_view text);

// In a URL a reference without a conversion is URL-escaped; in the card's text it is not.
enum class VariableContext { kText, kUrl };

// The text with each reference replaced by its variable's value (nothing for an unset variable),
// converted as the reference or else the context asks, and "$$" by a dollar sign. A stray "$" stays.
std::string SubstituteVariables(std::string_view text, const WmlVariables& variables,
                                VariableContext context);

// Every byte but letters, digits and "-._~" as "%XX"; and back ("+" stays a plus).
std::string UrlEscape(std::string_view text);
std::string UrlUnescape(std::string_view text);

}  // namespace qv::phone
