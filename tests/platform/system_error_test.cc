// The platform layer's two ways of failing: a call sets the last error and returns false; raising code
// gives EWin32Error the code and the system's text of it, after what failed.
#include "platform/errors/system_error.h"

#include <gtest/gtest.h>

#include "platform/errors/exception.h"
#include "platform/errors/win_error.h"

namespace qv::platform {
namespace {

// A code with the customer bit set: neither system has a text for it.
constexpr uint32_t kCodeWithoutText = 0x20001234;

template <class Raise>
EWin32Error Raised(Raise raise) {
  try {
    raise();
  } catch (const EWin32Error& error) {
    return error;
  }
  return EWin32Error("nothing raised", ERROR_SUCCESS);
}

TEST(SystemError, FailWithSetsTheLastErrorAndGivesFalse) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(FailWith(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

// The system's own words: Windows' text without its full stop, or on Linux the C library's text of the
// error number the code stands for.
TEST(SystemError, TheTextIsTheSystemsOrNamesTheCode) {
  std::string system;
  ASSERT_TRUE(FormatSystemMessage(ERROR_FILE_NOT_FOUND, &system));
  if (SystemErrorsAreWindows()) {
    ASSERT_EQ(system.back(), '.');
    EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), system.substr(0, system.size() - 1));
  } else {
    EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), "No such file or directory");
  }
  ASSERT_FALSE(FormatSystemMessage(kCodeWithoutText, &system));
  EXPECT_EQ(SystemErrorText(kCodeWithoutText), "error 536875572");
}

TEST(SystemError, RaisesTheCodeWithWhatFailedAndTheSystemsText) {
  const EWin32Error named = Raised([] { RaiseSystemError("Cannot open \"x\"", ERROR_ACCESS_DENIED); });
  EXPECT_EQ(named.ErrorCode, ERROR_ACCESS_DENIED);
  EXPECT_EQ(named.Message(), "Cannot open \"x\": " + SystemErrorText(ERROR_ACCESS_DENIED));
  const EWin32Error bare = Raised([] { RaiseSystemError(kCodeWithoutText); });
  EXPECT_EQ(bare.ErrorCode, kCodeWithoutText);
  EXPECT_EQ(bare.Message(), "error 536875572");
}

}  // namespace
}  // namespace qv::platform
