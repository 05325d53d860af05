// The base of every exception the system raises, and the platform's own exception classes.
//
// Errors travel as exceptions that carry an English message. Reports that name an exception's class
// (error reports of the file writers, exception traces) read it from ClassName(), so every class
// declares its name with QV_EXCEPTION_CLASS.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace qv {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string message_;
};

// Declares an exception class that only carries its message.
#define QV_EXCEPTION_CLASS(Name, Base)                                  \
  class Name : public Base {                                            \
   public:                                                              \
    using Base::Base;                                                   \
    const char* ClassName() const noexcept override { return #Name; } \
  }

// A failed text-to-number conversion: "'%s' is not a valid integer value" and the like.
QV_EXCEPTION_CLASS(EConvertError, Exception);
// An index or value outside its range.
QV_EXCEPTION_CLASS(ERangeError, Exception);
// An internal consistency check failed.
QV_EXCEPTION_CLASS(EAssertionFailed, Exception);

// A platform call failed; carries the Windows error code.
class EWin32Error : public Exception {
 public:
  EWin32Error(std::string message, uint32_t error_code) : Exception(std::move(message)), ErrorCode(error_code) {}
  const char* ClassName() const noexcept override { return "EWin32Error"; }
  uint32_t ErrorCode;
};

// Raises EAssertionFailed with the given text when the condition does not hold.
inline void Assert(bool condition, const std::string& text) {
  if (!condition) throw EAssertionFailed(text);
}

}  // namespace qv
