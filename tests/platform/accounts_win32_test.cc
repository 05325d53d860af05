// Accounts through the system's security functions: well-known and unknown SIDs, names and SIDs both
// ways, and the logons that must fail before the system is asked.
#include <gtest/gtest.h>

#include "platform/accounts.h"
#include "platform/last_error.h"
#include "platform/win_error.h"
#include "testing/platform_checks.h"

namespace qv::platform {
namespace {

Sid FromText(const std::string& text) {
  Sid sid;
  EXPECT_TRUE(TextToSid(text, &sid)) << text;
  return sid;
}

TEST(Accounts, AWellKnownSidHasItsNameBothWays) {
  std::string name;
  std::string domain;
  SidNameUse use = SidNameUse::kUnknown;
  ASSERT_TRUE(LookupAccountSid(FromText("S-1-5-32-544"), &name, &domain, &use)) << GetLastError();
  EXPECT_EQ(name, "Administrators");
  EXPECT_EQ(domain, "BUILTIN");
  EXPECT_EQ(use, SidNameUse::kAlias);

  Sid sid;
  ASSERT_TRUE(LookupAccountName("BUILTIN\\Administrators", &sid, &domain, &use)) << GetLastError();
  EXPECT_EQ(SidToText(sid), "S-1-5-32-544");
  EXPECT_EQ(domain, "BUILTIN");
}

TEST(Accounts, UnknownAndMalformedSidsAreRefused) {
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

TEST(Accounts, LogonsThatCannotSucceedAreRefusedBeforeTheSystemIsAsked) {
  std::unique_ptr<AccessToken> token;
  EXPECT_FALSE(LogonUser("Administrator", ".", std::string("secret\0more", 11), LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_FALSE(LogonUser("Administrator", ".", "", LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_FALSE(LogonUser("", ".", "secret", LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_EQ(token, nullptr);
}

TEST(Accounts, AWrongPasswordIsRefused) {
  QV_SKIP_REST_UNDER_WINE("a wrong password (Wine's LogonUser accepts any)");
  std::unique_ptr<AccessToken> token;
  EXPECT_FALSE(LogonUser("NoSuchUser4242", ".", "wrong", LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_EQ(token, nullptr);
}

}  // namespace
}  // namespace qv::platform
