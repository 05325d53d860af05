#include "server/request_errors.h"

#include "platform/errors/unhandled_exception.h"

namespace qv {

std::string ErrorMessage(std::exception_ptr error) {
  return platform::ExceptionMessage(error);
}

void ReportAndRaiseAsWCException(const ReportContext& detail3_context) {
  try {
    throw;
  } catch (const WCException&) {
    throw;
  } catch (...) {
    const std::string message = ErrorMessage(std::current_exception());
    TraceExceptionReport(message, kRequestThreadClass, nullptr, detail3_context);
    RaiseWCException(message);
  }
}

}  // namespace qv
