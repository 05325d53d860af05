// Accounts through the platform's security functions: unknown and malformed SIDs and names, and the
// logons that must fail before any authority is asked. (On Linux a fresh state directory makes sure
// the machine's account database knows no one.)
#include "platform/accounts/accounts.h"

#include <gtest/gtest.h>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

Sid FromText(const std::string& text) {
  Sid sid;
  EXPECT_TRUE(TextToSid(text, &sid)) << text;
  return sid;
}

TEST(Accounts, UnknownAndMalformedSidsAndNamesAreRefused) {
  qv::testing::TestStateDir dir;
  std::string name;
  std::string domain;
  EXPECT_FALSE(LookupAccountSid(FromText("S-1-5-21-1-2-3-4242"), &name, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  EXPECT_FALSE(LookupAccountSid(Sid("\x01\x05", 2), &name, &domain));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  Sid sid;
  EXPECT_FALSE(LookupAccountName(std::string("Admin\0istrators", 15), &sid, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  EXPECT_FALSE(LookupAccountName("", &sid, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
}

TEST(Accounts, LogonsThatCannotSucceedAreRefusedBeforeAnyAuthorityIsAsked) {
  qv::testing::TestStateDir dir;
  std::unique_ptr<AccessToken> token;
  EXPECT_FALSE(LogonUser("Administrator", ".", std::string("secret\0more", 11), LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_FALSE(LogonUser("Administrator", ".", "", LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_FALSE(LogonUser("", ".", "secret", LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_EQ(token, nullptr);
}

TEST(Accounts, AnUnknownAccountCannotLogOn) {
  QV_SKIP_REST_UNDER_WINE("a refused logon (Wine's LogonUser accepts any)");
  qv::testing::TestStateDir dir;
  std::unique_ptr<AccessToken> token;
  EXPECT_FALSE(LogonUser("NoSuchUser4242", ".", "wrong", LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_EQ(token, nullptr);
}

}  // namespace
}  // namespace qv::platform
