// WCException, the service's own exception class, and the text of the exception report that the
// request thread and the request handler write when they catch an unexpected error.
//
// A WCException has been reported already: whoever raises one reports it first (event 50 and a trace
// line, logging/exception_report.h). A handler that catches some other error writes its report and
// raises a WCException with the same message; a WCException passes such handlers unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/errors/exception.h"

namespace qv {

QV_EXCEPTION_CLASS(WCException, Exception);

// "Exception! " + message + CR LF + TAB + class name + " at " + StackLocationText().
std::string ExceptionReportText(std::string_view message, std::string_view class_name);

// Builds the context values of one place of the code; called only for the detail that shows them.
using ReportContext = std::function<std::string()>;

// The report of a caught error for the trace's detail: at 1 the report text; at 2 the text and, when
// given, CR LF TAB and the level-2 context; at 3 that and, when given, CR LF TAB and the level-3
// context; empty for any other detail.
std::string ExceptionReportForDetail(uint8_t detail, std::string_view message, std::string_view class_name,
                                     const ReportContext& detail2_context = nullptr,
                                     const ReportContext& detail3_context = nullptr);

}  // namespace qv
