// Turning the thread's last platform error into the platform error exception.
#pragma once

namespace qv {

// Raises EWin32Error for the calling thread's last error: the system's text of the code as its
// message, or "A Win32 API function failed" when the last error is 0. The exception carries the code.
[[noreturn]] void RaiseLastPlatformError();

}  // namespace qv
