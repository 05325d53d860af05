// Fills in a message text of a message table as the event viewer shows it (FormatMessage with an
// array of insertion strings).
#pragma once

#include <string>
#include <vector>

namespace qv::platform {

// The text with its escapes replaced:
//   %1 .. %99    the insertion string of that number (inserts[0] is %1), an optional "!format!"
//                after the number dropped with it. An insertion string that was not passed leaves
//                the escape as it stands ("%2" stays "%2"), as the event viewer shows it.
//   %n           a line break, CR LF;  %r a CR;  %t a tab;  %b and "% " a blank
//   %% %. %!     the character itself
//   %0           ends the text there (no further text, no line break)
// Line breaks written in the text stay as they are; inserted strings are not scanned again; any
// other "%" stays as it stands.
std::string FormatMessageText(const std::string& text, const std::vector<std::string>& inserts);

}  // namespace qv::platform
