#include "platform/errors/system_error.h"

#include "platform/errors/exception.h"
#include "platform/errors/win_error.h"

namespace qv::platform {

std::string SystemErrorText(uint32_t code) {
  std::string text;
  if (!FormatSystemMessage(code, &text)) text = "error " + std::to_string(code);
  return text;
}

void RaiseSystemError(uint32_t code) {
  throw EWin32Error(SystemErrorText(code), code);
}

void RaiseSystemError(const std::string& what, uint32_t code) {
  throw EWin32Error(what + ": " + SystemErrorText(code), code);
}

}  // namespace qv::platform
