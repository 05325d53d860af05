// The pieces of the calendar pages: texts made safe for a WML deck, and the navigation links that
// carry the mailbox, the password, the page kind and the appointment index to the next request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// A text as it may stand in a page, in a text or in an attribute: control characters other than tab,
// line feed and carriage return are left out (no XML document may hold them), the characters that
// have a reference are replaced by it (EscapeText), and each "$" is written "$$" (a single one starts
// a WML variable reference).
std::string PageText(std::string_view text);

// The first `count` characters of a text; nothing when the count is 0 or less.
std::string FirstChars(std::string_view text, int64_t count);

// "?U=%s&amp;P=%s&amp;E=%s&amp;X=%s" filled with the values as given (already page texts) and the
// index in decimal.
std::string PageLink(std::string_view mailbox, std::string_view password, std::string_view kind,
                     int64_t index);

// "<a href="%s">%s</a>" filled with the link and the label.
std::string Anchor(std::string_view link, std::string_view label);

}  // namespace qv
