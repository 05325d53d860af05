// Comparison of 8-bit texts ignoring letter case, as the system compares names of the user-default
// locale (CompareString with NORM_IGNORECASE).
#pragma once

#include <string>
#include <string_view>

namespace qv::platform {

// Below 0, 0 or above 0 as a sorts before, equal to or after b when letter case is ignored. Texts are
// Windows-1252: the letters of that code page (A-Z, the accented Latin-1 letters, Š Œ Ž Ÿ) match their
// lower-case forms. The order is a total order consistent with that equality.
int CompareTextIgnoreCase(std::string_view a, std::string_view b);

// The text with every Windows-1252 letter in its lower-case form: two texts are equal ignoring case
// exactly when their folded forms are equal.
std::string FoldTextCase(std::string_view text);

}  // namespace qv::platform
