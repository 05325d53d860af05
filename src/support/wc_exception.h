// WCException, the service's own exception class, and the exception-report trace form that the
// request thread and the request handler write when they catch an unexpected error.
//
// A WCException reports itself when it is made, not when it is raised: event 50 with the location
// text and the message, and the level-2 trace line "Exception! at" + location + " " + message. A
// handler that catches some other error writes its report (TraceExceptionReport) and raises a
// WCException with the same message; a WCException passes such handlers unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace qv {

class WCException : public Exception {
 public:
  // Reports the message (event 50 and the trace line), then holds it. Reporting never raises: a
  // missing or refusing event log or trace writer only loses the report.
  explicit WCException(std::string message);
  const char* ClassName() const noexcept override { return "WCException"; }
};

// "Exception! " + message + CR LF + TAB + class name + " at " + StackLocationText().
std::string ExceptionReportText(std::string_view message, std::string_view class_name);

// Builds the context values of one place of the code; called only for the detail that shows them.
using ReportContext = std::function<std::string()>;

// Writes the report of a caught error to the trace at the level equal to the trace writer's
// TraceDetailness: at 1 the report text; at 2 the text and, when given, CR LF TAB and the level-2
// context; at 3 that and, when given, CR LF TAB and the level-3 context; at any other detail (and
// without a trace writer) nothing.
void TraceExceptionReport(std::string_view message, std::string_view class_name,
                          const ReportContext& detail2_context = nullptr,
                          const ReportContext& detail3_context = nullptr);

// The report text as TraceExceptionReport writes it for the given detail; empty for a detail other
// than 1, 2 or 3.
std::string ExceptionReportForDetail(uint8_t detail, std::string_view message, std::string_view class_name,
                                     const ReportContext& detail2_context = nullptr,
                                     const ReportContext& detail3_context = nullptr);

}  // namespace qv
