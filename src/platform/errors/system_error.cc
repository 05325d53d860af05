#include "platform/errors/system_error.h"

#include "platform/errors/exception.h"
#include "platform/errors/win_error.h"

namespace qv::platform {

void RaiseSystemError(uint32_t code) {
  throw EWin32Error(SystemErrorText(code), code);
}

void RaiseSystemError(const std::string& what, uint32_t code) {
  throw EWin32Error(what + ": " + SystemErrorText(code), code);
}

}  // namespace qv::platform
