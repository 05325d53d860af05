// The process's default exception display: where an exception goes that no handler takes. A service
// has no screen, so it writes one line on standard error ("Unhandled exception on thread 7:
// eItcException: <message>"), which the journal keeps when the service runs under systemd. The
// inter-thread messaging and the TCP server both end here.
#pragma once

#include <exception>
#include <string>

namespace qv::platform {

void ShowUnhandledException(std::exception_ptr exception);

// The message of any exception: what() of a standard one, else "Unknown exception".
std::string ExceptionMessage(std::exception_ptr exception);

}  // namespace qv::platform
