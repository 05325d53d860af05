// How the request thread reports errors it did not expect: their message, and the re-raise as
// WCException after the exception report (a WCException, reported when it was made, passes unchanged).
#pragma once

#include <exception>
#include <string>

#include "logging/exception_report.h"

namespace qv {

// The class name that the request thread's exception reports show.
inline constexpr char kRequestThreadClass[] = "TSrvThread";

// The message of any error: an exception's message, else "Unknown exception".
std::string ErrorMessage(std::exception_ptr error);

// Call inside a catch block. Raises the caught WCException again; for any other error writes the
// request thread's exception report with the given level-3 context, then raises a WCException with
// the error's message.
[[noreturn]] void ReportAndRaiseAsWCException(const ReportContext& detail3_context);

}  // namespace qv
