// Accounts through the system's security functions: a well-known SID has its name both ways.
#include <gtest/gtest.h>

#include "platform/accounts/accounts.h"
#include "platform/errors/last_error.h"

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

}  // namespace
}  // namespace qv::platform
