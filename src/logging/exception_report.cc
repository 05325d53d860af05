#include "logging/exception_report.h"

#include "logging/event_ids.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "support/text_helpers.h"

namespace qv {

namespace {}  // namespace

void ReportWCException(const std::string& message) {
  const std::string location = StackLocationText();
  try {
    if (EventLog.Exists()) EventLog->WriteEvent(eltError, 0, QV_MSG_EXCEPTION, location, message);
  } catch (const std::exception&) {
    // The report is lost; the error it reports must not be replaced by this one.
  }
  try {
    if (TraceWriter.Exists()) TraceWriter->Trace("Exception! at" + location + " " + message, 2);
  } catch (const std::exception&) {
  }
}

void RaiseWCException(const std::string& message) {
  ReportWCException(message);
  throw WCException(message);
}

void TraceExceptionReport(std::string_view message, std::string_view class_name,
                          const ReportContext& detail2_context, const ReportContext& detail3_context) {
  if (!TraceWriter.Exists()) return;
  const uint8_t detail = TraceWriter->TraceDetailness;
  const std::string text =
      ExceptionReportForDetail(detail, message, class_name, detail2_context, detail3_context);
  if (!text.empty()) TraceWriter->Trace(text, detail);
}

}  // namespace qv
