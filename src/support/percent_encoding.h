// Percent escapes in the values of a URL's query: the escapes a phone writes when it puts a value
// into a link, undone once, and the escapes the pages give the mailbox and the password in their
// own links, so that a link followed as written gives back the same values.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Every "%" and two hexadecimal digits becomes the byte they give, once ("%2541" gives "%41"); a
// "+" stays a plus, and a "%" without two digits after it stays as it stands. An escape of a control
// character (below 0x20, and 0x7F) stays escaped: no phone types one, and a decoded line break would
// reach the trace, the event log and the profile of the mailbox logon.
std::string PercentDecode(std::string_view text);

// Every byte but the ASCII letters, the digits and "-._~" as "%" and two upper-case hexadecimal
// digits. What comes out holds no character that WML or XML treats specially.
std::string PercentEncode(std::string_view text);

}  // namespace qv
