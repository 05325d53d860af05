#include "support/wc_exception.h"

#include "logging/wc_event_log.h"
#include "logging/wc_trace_writer.h"
#include "support/text_helpers.h"

namespace qv {

namespace {

constexpr uint32_t kExceptionEvent = 50;

}  // namespace

WCException::WCException(std::string message) : Exception(std::move(message)) {
  const std::string location = StackLocationText();
  try {
    if (EventLog.Exists()) EventLog->WriteEvent(eltError, 0, kExceptionEvent, location, Message());
  } catch (const std::exception&) {
    // The report is lost; the error it reports must not be replaced by this one.
  }
  try {
    if (TraceWriter.Exists()) TraceWriter->Trace("Exception! at" + location + " " + Message(), 2);
  } catch (const std::exception&) {
  }
}

std::string ExceptionReportText(std::string_view message, std::string_view class_name) {
  std::string text = "Exception! ";
  text += message;
  text += "\r\n\t";
  text += class_name;
  text += " at ";
  text += StackLocationText();
  return text;
}

std::string ExceptionReportForDetail(uint8_t detail, std::string_view message, std::string_view class_name,
                                     const ReportContext& detail2_context,
                                     const ReportContext& detail3_context) {
  if (detail < 1 || detail > 3) return std::string();
  std::string text = ExceptionReportText(message, class_name);
  if (detail >= 2 && detail2_context) text += "\r\n\t" + detail2_context();
  if (detail == 3 && detail3_context) text += "\r\n\t" + detail3_context();
  return text;
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
