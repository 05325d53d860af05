#include <gtest/gtest.h>

#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/module.h"
#include "support/platform_error.h"
#include "support/service_functions.h"
#include "testing/platform_checks.h"

namespace qv {
namespace {

EWin32Error Raised(uint32_t code) {
  platform::SetLastError(code);
  try {
    RaiseLastPlatformError();
  } catch (const EWin32Error& error) {
    return error;
  }
  return EWin32Error("nothing raised", 0xFFFFFFFF);
}

TEST(RaiseLastPlatformError, CarriesTheCodeAndTheSystemsText) {
  const EWin32Error missing = Raised(platform::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing.ErrorCode, 2u);
  if (qv::testing::SkipUnderWine(
          "the system's text of ERROR_FILE_NOT_FOUND (Wine's FormatMessage texts are its own)"))
    EXPECT_FALSE(missing.Message().empty());
  else
    EXPECT_EQ(missing.Message(), "The system cannot find the file specified.");
  EXPECT_STREQ(missing.ClassName(), "EWin32Error");

  const EWin32Error none = Raised(0);
  EXPECT_EQ(none.ErrorCode, 0u);
  EXPECT_EQ(none.Message(), "A Win32 API function failed");
}

TEST(GetLocalComputerName, IsTheComputersName) {
  const std::string name = GetLocalComputerName();
  EXPECT_FALSE(name.empty());
  EXPECT_LT(name.size(), 250u);
  EXPECT_EQ(name, platform::GetComputerName());
}

}  // namespace
}  // namespace qv
