// The reports of the service's errors: the report of a WCException (event 50 and a level-2 trace
// line) and the exception report that a handler of an unexpected error writes to the trace.
//
// Raising and reporting are two steps: RaiseWCException reports, then throws a plain WCException;
// a caller that only wants the record (the request handler, after a failed account lookup it answers
// itself) calls ReportWCException alone.
#pragma once

#include <string>
#include <string_view>

#include "support/service_exception.h"

namespace qv {

// Event 50 with the location text and the message, and the level-2 trace line "Exception! at" +
// location + " " + message. Never raises: a missing or refusing event log or trace writer only loses
// the report.
void ReportWCException(const std::string& message);

// Reports the message as above, then raises a WCException that carries it.
[[noreturn]] void RaiseWCException(const std::string& message);

// Writes the report of a caught error (ExceptionReportForDetail) to the trace at the level equal to
// the trace writer's TraceDetailness; nothing at other details or without a trace writer.
void TraceExceptionReport(std::string_view message, std::string_view class_name,
                          const ReportContext& detail2_context = nullptr,
                          const ReportContext& detail3_context = nullptr);

}  // namespace qv
