#include "platform/errors/system_error_posix.h"

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/system_error.h"

namespace qv::platform::posix {

std::string ErrnoText(int error_number) {
  return SystemErrorText(WinErrorFromErrno(error_number));
}

void RaiseErrnoError(const std::string& what, int error_number) {
  RaiseSystemError(what, WinErrorFromErrno(error_number));
}

}  // namespace qv::platform::posix
