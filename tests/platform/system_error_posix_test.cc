// A failed POSIX call raised: its errno as the Windows code, told in the C library's words.
#include "platform/errors/system_error_posix.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/errors/exception.h"
#include "platform/errors/win_error.h"

namespace qv::platform::posix {
namespace {

TEST(SystemError, AnErrnoIsRaisedAsItsWindowsCodeAndText) {
  EXPECT_EQ(ErrnoText(EACCES), "Permission denied");
  try {
    RaiseErrnoError("Cannot open \"x\"", ENOENT);
  } catch (const EWin32Error& error) {
    EXPECT_EQ(error.ErrorCode, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(error.Message(), "Cannot open \"x\": No such file or directory");
    return;
  }
  ADD_FAILURE() << "nothing raised";
}

}  // namespace
}  // namespace qv::platform::posix
