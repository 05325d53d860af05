#include "net/socket_error.h"

#include "platform/errors/win_error.h"

namespace qv::net {

using namespace platform;

std::string SocketErrorMessage(uint32_t error_code, const std::string& call) {
  std::string text;
  if (!FormatSystemMessage(error_code, &text)) text = "Unknown error";
  // The system text is a sentence; inside the message it stands without its full stop.
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return "Windows socket error: " + text + " (" + std::to_string(static_cast<int32_t>(error_code)) +
         "), on API '" + call + "'";
}

void RaiseSocketError(uint32_t error_code, const std::string& call) {
  throw ESocketError(SocketErrorMessage(error_code, call), error_code);
}

void RaiseListenError(uint32_t error_code, const std::string& call, const std::string& address,
                      int32_t port) {
  if (SystemErrorsAreWindows()) RaiseSocketError(error_code, call);
  // An IPv6 address is bracketed, as in a URL, so that its port stands apart.
  const std::string host = address.find(':') == std::string::npos ? address : "[" + address + "]";
  throw ESocketError(
      "cannot listen on " + host + ":" + std::to_string(port) + ": " + SystemErrorText(error_code),
      error_code);
}

}  // namespace qv::net
