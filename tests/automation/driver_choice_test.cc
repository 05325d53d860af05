// Which driver serves the messaging library's session: the installed library, else the calendar
// store. No automation library is installed where the tests run (Linux has none at all).
#include <gtest/gtest.h>

#include "exchange/calendar_store_driver.h"
#include "exchange/cdo_automation_driver.h"
#include "exchange/messaging_library.h"
#include "platform/com/com.h"

namespace qv {
namespace {

class DriverChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SUCCEEDED(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED)));
  }
  void TearDown() override {
    platform::CoRevokeClass(cdo::CLSID_Session);
    platform::CoUninitialize();
  }
};

TEST_F(DriverChoice, TheCalendarStoreServesWhileTheLibraryIsNotInstalled) {
  RegisterCdoAutomationDriver();
  auto session = cdo::CreateSession();
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->Version(), kCdoVersion);
  // The store serves this machine only: a logon elsewhere fails as the store's logons do.
  try {
    session->Logon(std::nullopt, std::nullopt, false, true, 0, true, std::string("far.example\r\nbox"));
    FAIL() << "the store logged on to another machine";
  } catch (const EOleException& error) {
    EXPECT_EQ(error.ErrorCode, cdo::MAPI_E_NETWORK_ERROR) << error.what();
  }
}

}  // namespace
}  // namespace qv
