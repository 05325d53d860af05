// Small text helpers shared by the exception reports and the calendar pages.
#pragma once

#include <string>

namespace qv {

// The code-location text that stands in every exception report: always "GetStackAddress".
std::string StackLocationText();

// Each byte as two upper-case hexadecimal digits, in order: "\x01\xAB" gives "01AB".
std::string HexText(const std::string& bytes);

// "True" or "False".
std::string BoolToText(bool value);

// The numeric character reference of a character that needs one in a page text (", &, ', <, >, the
// no-break space 160 and the soft hyphen 173): true and the reference, or false and an empty text.
bool CharToEntity(char c, std::string* entity);

// The text with every character that has a reference replaced by it, all others kept in order.
std::string EscapeText(const std::string& text);

}  // namespace qv
