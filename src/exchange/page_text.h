// The pieces of the calendar pages: texts made safe for a WML deck of the configured character set,
// and the navigation links that carry the mailbox, the password, the page kind and the appointment
// index to the next request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// How a deck's character set takes the bytes 0x80 and above of a Windows-1252 text. Under
// windows-1252 they are those characters. Under ISO-8859-1 the bytes 0xA0 to 0xFF are the same
// characters, but 0x80 to 0x9F (the euro sign, the curly quotes, the dashes, the ellipsis ...) are
// control characters, so those go out as numeric character references of their Unicode code points.
// Under any other character set (utf-8, us-ascii ...) a byte 0x80 or above means something else or
// nothing, so every such character goes out as its reference. The five bytes that Windows-1252 leaves
// undefined are no character in any of them and are left out.
enum class DeckCharset { kWindows1252, kLatin1, kOther };

// kWindows1252 for "windows-1252", kLatin1 for "iso-8859-1" and its registered aliases, in any letter
// case; kOther for every other name.
DeckCharset DeckCharsetOf(std::string_view char_set_name);

// A text as it may stand in a page, in a text or in an attribute: control characters other than tab,
// line feed and carriage return are left out (no XML document may hold them), the characters that
// have a reference are replaced by it (EscapeText), each "$" is written "$$" (a single one starts a
// WML variable reference), and 0x80 to 0x9F are written as the character set needs.
std::string PageText(std::string_view text, DeckCharset charset);

// The page text of the longest beginning of the text whose page text has at most `limit` bytes, so
// that a text cut to a budget stays within it once escaped; nothing when the limit is 0 or less.
// For a text that needs no escaping this is its first `limit` characters.
std::string PageTextWithin(std::string_view text, int64_t limit, DeckCharset charset);

// The first `count` characters of a text; nothing when the count is 0 or less.
std::string FirstChars(std::string_view text, int64_t count);

// A mailbox or password as it stands in a link: percent-encoded (PercentEncode), which leaves nothing
// that a deck would have to escape. The request parsing decodes it again, so a link followed as
// written gives back the value, whatever characters it holds.
std::string LinkValue(std::string_view value);

// "?U=%s&amp;P=%s&amp;E=%s&amp;X=%s" filled with the values as given (already link values) and the
// index in decimal.
std::string PageLink(std::string_view mailbox, std::string_view password, std::string_view kind,
                     int64_t index);

// "<a href="%s">%s</a>" filled with the link and the label.
std::string Anchor(std::string_view link, std::string_view label);

}  // namespace qv
