// The viewer's failures: a message in plain words, shown to whoever uses the viewer.
#pragma once

#include "platform/errors/exception.h"

namespace qv::phone {

// A service URL the viewer cannot use.
QV_EXCEPTION_CLASS(EServiceUrlError, Exception);
// No answer came from the service: it could not be reached, or the connection failed.
QV_EXCEPTION_CLASS(EServiceUnreachable, Exception);
// A form sent to the viewer that no card of it made.
QV_EXCEPTION_CLASS(EFormError, Exception);

}  // namespace qv::phone
