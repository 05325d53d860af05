#include "support/service_exception.h"

#include "support/text_helpers.h"

namespace qv {

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

}  // namespace qv
