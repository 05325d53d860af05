// The system's own words for an error code on Linux: the C library's text of the error number a code
// stands for, the Windows text of a code that stands for none.
#include <gtest/gtest.h>

#include "platform/errors/win_error.h"

namespace qv::platform {
namespace {

TEST(SystemErrorText, SpeaksTheCLibrarysWordsForCodesThatComeFromErrorNumbers) {
  EXPECT_FALSE(SystemErrorsAreWindows());
  EXPECT_EQ(SystemErrorText(WSAEADDRINUSE), "Address already in use");
  EXPECT_EQ(SystemErrorText(WSAEADDRNOTAVAIL), "Cannot assign requested address");
  EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), "No such file or directory");
  // Several numbers map to Access is denied; the first, the plain one, speaks for it.
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), "Permission denied");
  EXPECT_EQ(SystemErrorText(ERROR_DISK_FULL), "No space left on device");
}

TEST(SystemErrorText, KeepsTheWindowsTextWithoutItsFullStopWhereNoNumberFits) {
  EXPECT_EQ(SystemErrorText(ERROR_SERVICE_EXISTS), "The specified service already exists");
  EXPECT_EQ(SystemErrorText(123456), "error 123456");
}

}  // namespace
}  // namespace qv::platform
