// The process's default exception display: where an exception goes that no handler takes. A service
// has no screen, so it writes one line on standard error ("Unhandled exception on thread 7:
// eItcException: <message>"), which the journal keeps when the service runs under systemd.
#pragma once

#include <exception>

namespace qv {

void ShowUnhandledException(std::exception_ptr exception);

}  // namespace qv
