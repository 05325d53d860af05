// The two ways the platform layer reports a failure: a platform call sets the thread's last error and
// returns false (FailWith), and code that raises gives EWin32Error the system's text of the code
// (RaiseSystemError). The POSIX layer's errno form is in system_error_posix.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"

namespace qv::platform {

// Sets the thread's last error to code and returns false: `return FailWith(ERROR_INVALID_PARAMETER);`.
inline bool FailWith(uint32_t code) {
  SetLastError(code);
  return false;
}

// Raises EWin32Error with the code: its message is the system's own words for the code
// (SystemErrorText, platform/errors/win_error.h), after "what: " when what is given.
[[noreturn]] void RaiseSystemError(uint32_t code);
[[noreturn]] void RaiseSystemError(const std::string& what, uint32_t code);

}  // namespace qv::platform
