// A locale of the system for the locale tests, by its POSIX name: Windows has every locale and takes
// the name as it is; on Linux the locale is compiled from the system's locale sources with localedef
// into the test's state directory (never into the machine's own locales) and LOCPATH points there.
#pragma once

#include <string>

#include "testing/test_state_dir.h"

namespace qv::testing {

// The name to read the locale by, e.g. "de_DE.UTF-8" for source "de_DE" and charmap "UTF-8".
std::string SystemLocale(const TestStateDir& dir, const std::string& source, const std::string& charmap);

}  // namespace qv::testing
