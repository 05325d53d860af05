// The response around every page: the HTTP header and the WML 1.1 deck of one card "logon", and the
// two pages the request handler builds itself, the logon form and the error card.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace qv {

// The status line and content type, then the empty line; 51 characters. Every outcome is 200.
inline constexpr std::string_view kResponseHeader =
    "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n";

// The deck with its three "%s" placeholders (character set, title, body); 269 characters. The page
// budget of the calendar pages counts on both lengths.
extern const std::string_view kDeckTemplate;

// Each "%s" of the pattern replaced by the next value, in order; other characters are kept.
std::string FillPlaceholders(std::string_view pattern, std::initializer_list<std::string_view> values);

// The deck with the character set, the title and the body inserted as they are.
std::string BuildDeck(std::string_view char_set, std::string_view title, std::string_view body);

// The header followed by the deck.
std::string BuildResponse(std::string_view char_set, std::string_view title, std::string_view body);

// The logon form: a mailbox field, a password field and a link that sends both.
std::string LogonFormBody();

// The error card: the reason and a "back" link to the logon form.
std::string ErrorCardBody(std::string_view reason);

}  // namespace qv
