// The thread's last error is the system's own, so the codes the Win32 calls leave are seen as they are.
#include "platform/errors/last_error.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

uint32_t GetLastError() {
  return ::GetLastError();
}

void SetLastError(uint32_t code) {
  ::SetLastError(code);
}

}  // namespace qv::platform
