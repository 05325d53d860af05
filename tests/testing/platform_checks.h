// Checks that only some systems can make: Wine implements Windows, but its event log keeps nothing,
// its LogonUser takes any password and its message texts are its own. A test asks before such a check
// and, under Wine, leaves it out with a line saying which check it skipped.
#pragma once

#include <string>

namespace qv::testing {

// True (after printing "[  WINE    ] skipped: <check>") when the check cannot be made here.
bool SkipUnderWine(const std::string& check);

}  // namespace qv::testing
