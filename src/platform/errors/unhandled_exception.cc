#include "platform/errors/unhandled_exception.h"

#include <cstdio>
#include <string>

#include "platform/errors/exception.h"
#include "platform/threads/thread.h"

namespace qv::platform {

void ShowUnhandledException(std::exception_ptr exception) {
  std::string text;
  try {
    std::rethrow_exception(exception);
  } catch (const Exception& e) {
    text = std::string(e.ClassName()) + ": " + e.Message();
  } catch (const std::exception& e) {
    text = std::string("std::exception: ") + e.what();
  } catch (...) {
    text = "an exception of unknown type";
  }
  const std::string line =
      "Unhandled exception on thread " + std::to_string(GetCurrentThreadId()) + ": " + text + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

std::string ExceptionMessage(std::exception_ptr exception) {
  try {
    std::rethrow_exception(exception);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

}  // namespace qv::platform
