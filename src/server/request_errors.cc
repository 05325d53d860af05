#include "server/request_errors.h"

namespace qv {

std::string ErrorMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
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
