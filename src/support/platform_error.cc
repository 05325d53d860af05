#include "support/platform_error.h"

#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "support/win_error_text.h"

namespace qv {

void RaiseLastPlatformError() {
  const uint32_t code = platform::GetLastError();
  if (code == 0) throw EWin32Error("A Win32 API function failed", code);
  throw EWin32Error(GetWinErrorText(static_cast<int32_t>(code)), code);
}

}  // namespace qv
