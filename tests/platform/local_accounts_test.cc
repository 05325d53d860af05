// The machine's accounts: an account's life from creation to deletion, and the names and passwords
// refused before the account store is asked. Names are fresh for every run, since on Windows the
// accounts are the machine's own; on Linux the test's state directory holds a database of its own.
#include "platform/accounts/local_accounts.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/accounts/accounts.h"
#include "platform/com/guid.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "support/text_helpers.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

// A name no other test run uses: "qvt" and twelve hexadecimal digits of a fresh GUID.
std::string FreshName() {
  const Guid guid = CreateGuid();
  return "qvt" + HexText(std::string(guid.begin(), guid.begin() + 6));
}

TEST(LocalAccounts, AnAccountLivesFromCreationToDeletion) {
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoAccounts);
  qv::testing::TestStateDir dir;
  const std::string name = FreshName();
  ASSERT_TRUE(NetUserAdd(name, "first-Passw0rd")) << GetLastError();
  EXPECT_FALSE(NetUserAdd(name, "first-Passw0rd"));
  EXPECT_EQ(GetLastError(), ERROR_USER_EXISTS);

  LocalAccount account;
  ASSERT_TRUE(NetUserGetInfo(name, &account)) << GetLastError();
  EXPECT_EQ(account.Name, name);
  EXPECT_TRUE(IsValidSid(account.UserSid));
  EXPECT_FALSE(account.Disabled);
  std::string found_name;
  std::string domain;
  ASSERT_TRUE(LookupAccountSid(account.UserSid, &found_name, &domain)) << GetLastError();
  EXPECT_EQ(found_name, name);

  ASSERT_TRUE(NetUserSetDisabled(name, true)) << GetLastError();
  ASSERT_TRUE(NetUserGetInfo(name, &account));
  EXPECT_TRUE(account.Disabled);
  EXPECT_TRUE(NetUserSetPassword(name, "second-Passw0rd")) << GetLastError();

  std::vector<LocalAccount> accounts;
  ASSERT_TRUE(NetUserEnum(&accounts));
  EXPECT_TRUE(
      std::any_of(accounts.begin(), accounts.end(), [&](const LocalAccount& a) { return a.Name == name; }));
  EXPECT_TRUE(std::is_sorted(accounts.begin(), accounts.end(),
                             [](const LocalAccount& a, const LocalAccount& b) { return a.Name < b.Name; }));

  ASSERT_TRUE(NetUserDel(name)) << GetLastError();
  EXPECT_FALSE(NetUserGetInfo(name, &account));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_USER);
  EXPECT_FALSE(NetUserDel(name));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_USER);
  EXPECT_FALSE(NetUserSetDisabled(name, false));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_USER);
}

TEST(LocalAccounts, BadNamesAndPasswordsAreRefusedBeforeTheStoreIsAsked) {
  qv::testing::TestStateDir dir;
  const char* invalid[] = {"",          "123456789012345678901",
                           "a/b",       "a\\b",
                           "a@b",       "a:b",
                           "a\"b",      "a<b",
                           "a*b",       "a?b",
                           "a|b",       "a,b",
                           "a=b",       "a+b",
                           "a;b",       "a[b",
                           "a]b",       "a>b",
                           "tab\tname", " lead",
                           "trail ",    "dot.",
                           "...",       ". .",
                           "..  ",      "\x7F"};
  for (const char* name : invalid) {
    EXPECT_FALSE(IsValidLocalAccountName(name)) << name;
    EXPECT_FALSE(NetUserAdd(name, "Pass-Word1")) << name;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ACCOUNT_NAME) << name;
  }
  EXPECT_FALSE(NetUserAdd(std::string("nul\0name", 8), "Pass-Word1"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ACCOUNT_NAME);

  const std::string name = FreshName();
  for (const std::string& password : {std::string(), std::string(257, 'p'), std::string("pass\0word", 9)}) {
    EXPECT_FALSE(NetUserAdd(name, password));
    EXPECT_EQ(GetLastError(), ERROR_PASSWORD_RESTRICTION);
    EXPECT_FALSE(NetUserSetPassword(name, password));
    EXPECT_EQ(GetLastError(), ERROR_PASSWORD_RESTRICTION);
  }
  LocalAccount account;
  EXPECT_FALSE(NetUserGetInfo(name, &account));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_USER);
}

}  // namespace
}  // namespace qv::platform
