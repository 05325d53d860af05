#include "support/win_error_text.h"

#include <gtest/gtest.h>

#include "platform/errors/win_error.h"
#include "testing/platform_checks.h"

namespace qv {
namespace {

TEST(GetWinErrorText, GivesTheSystemsOneLineTexts) {
  QV_SKIP_REST_UNDER_WINE("the system's texts (Wine's texts are its own)");
  EXPECT_EQ(GetWinErrorText(2), "The system cannot find the file specified.");
  EXPECT_EQ(GetWinErrorText(5), "Access is denied.");
  EXPECT_EQ(GetWinErrorText(32),
            "The process cannot access the file because it is being used by another process.");
  EXPECT_EQ(GetWinErrorText(64), "The specified network name is no longer available.");
  EXPECT_EQ(GetWinErrorText(233), "No process is on the other end of the pipe.");
  EXPECT_EQ(GetWinErrorText(10048),
            "Only one usage of each socket address (protocol/network address/port) is normally permitted.");
  EXPECT_EQ(GetWinErrorText(1400), "Invalid window handle.");
}

TEST(GetWinErrorText, EveryKnownTextIsOneLine) {
  for (int32_t code = 0; code < 12000; ++code) {
    const std::string text = GetWinErrorText(code);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code;
    EXPECT_FALSE(text.empty()) << code;
  }
}

TEST(GetWinErrorText, UnknownAndNegativeCodes) {
  EXPECT_EQ(GetWinErrorText(-1), "LZERROR_BADINHANDLE");
  EXPECT_EQ(GetWinErrorText(-8), "LZERROR_UNKNOWNALG");
  EXPECT_EQ(GetWinErrorText(-9), "?");
  EXPECT_EQ(GetWinErrorText(INT32_MIN), "?");
  EXPECT_EQ(GetWinErrorText(424242), "?");
}

TEST(ErrorTextShapes, DecimalAndHexadecimal) {
  QV_SKIP_REST_UNDER_WINE("the system's texts (Wine's texts are its own)");
  EXPECT_EQ(LastErrorText(2), "LastError: 2 (The system cannot find the file specified.)");
  EXPECT_EQ(HexErrorText(1400), "$578 (Invalid window handle.)");
  EXPECT_EQ(HexErrorText(0), "$0 (The operation completed successfully.)");
}

}  // namespace
}  // namespace qv
