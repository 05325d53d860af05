// The system the program runs on, for the few things that differ between Windows and Wine's
// implementation of it (tests skip the checks Wine cannot do, saying so).
#pragma once

namespace qv::platform {

// True for the Windows programs (on Windows or under Wine), false for the Linux ones.
bool RunsOnWindows();

// True when the program is a Windows program running under Wine (its ntdll exports
// wine_get_version); always false for the Linux programs.
bool RunsUnderWine();

}  // namespace qv::platform
