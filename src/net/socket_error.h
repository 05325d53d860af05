// The error of a socket operation (ESocketError) and the kinds of operation that the error events of
// the socket components name.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors/exception.h"

namespace qv::net {

// What a socket was doing when it failed; handlers see the kinds as the numbers 0 to 5.
enum TErrorEvent : int32_t {
  eeGeneral = 0,
  eeSend = 1,
  eeReceive = 2,
  eeConnect = 3,
  eeDisconnect = 4,
  eeAccept = 5,
};

// A socket operation failed; carries the system error code, which the message shows in decimal.
class ESocketError : public Exception {
 public:
  ESocketError(std::string message, uint32_t error_code)
      : Exception(std::move(message)), ErrorCode(error_code) {}
  const char* ClassName() const noexcept override { return "ESocketError"; }
  uint32_t ErrorCode;
};

// "Windows socket error: <system text> (<code>), on API '<call>'".
std::string SocketErrorMessage(uint32_t error_code, const std::string& call);

// Raises ESocketError with SocketErrorMessage for a failed call.
[[noreturn]] void RaiseSocketError(uint32_t error_code, const std::string& call);

// Raises ESocketError for a listening socket that could not be opened on address and port. Where
// the system speaks Windows' texts the message is SocketErrorMessage's; elsewhere it names what failed
// in the system's words: "cannot listen on 0.0.0.0:8080: Address already in use".
[[noreturn]] void RaiseListenError(uint32_t error_code, const std::string& call, const std::string& address,
                                   int32_t port);

}  // namespace qv::net
