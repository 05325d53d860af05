// Raising EWin32Error for a failed POSIX call: errno becomes its Windows code (errno_map_posix.h) and
// the message the system's text of that code, as everywhere else in the platform layer.
#pragma once

#include <cstdint>
#include <string>

namespace qv::platform::posix {

// The system's text of the Windows code of an errno value (SystemErrorText).
std::string ErrnoText(int error_number);

// Raises EWin32Error(what + ": " + the text, the Windows code of error_number).
[[noreturn]] void RaiseErrnoError(const std::string& what, int error_number);

}  // namespace qv::platform::posix
