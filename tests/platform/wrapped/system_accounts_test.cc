// The system's accounts and the two authorities together, against the made-up users of passwd and
// passdb beside this file (nss_wrapper and pam_wrapper, set up by the launcher with_test_users.sh).
#include <gtest/gtest.h>

#include "platform/accounts/accounts.h"
#include "platform/accounts/local_accounts.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/environment.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

constexpr const char* kMachineDomain = "QUORVANE-TEST-H";  // from quorvane-test-host.example.org

class SystemAccounts : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never against the machine's own users: without the wrappers nothing here may run.
    ASSERT_EQ(GetEnvironmentVariable("PAM_WRAPPER"), "1") << "run through with_test_users.sh";
    ASSERT_TRUE(GetEnvironmentVariable("NSS_WRAPPER_PASSWD").has_value());
  }

  static Sid SidOf(const std::string& text) {
    Sid sid;
    EXPECT_TRUE(TextToSid(text, &sid)) << text;
    return sid;
  }

  // What the request handler does with a mailbox's owner: the SID's account, then a network logon of
  // that account with the password the phone gave.
  static bool LogOnAsOwner(const Sid& owner, const std::string& password,
                           std::unique_ptr<AccessToken>* token) {
    std::string name;
    std::string domain;
    if (!LookupAccountSid(owner, &name, &domain)) return false;
    return LogonUser(name, domain, password, LogonType::kNetwork, token);
  }

  static uint32_t LogonError(const std::string& user, const std::string& domain,
                             const std::string& password) {
    std::unique_ptr<AccessToken> token;
    SetLastError(ERROR_SUCCESS);
    if (LogonUser(user, domain, password, LogonType::kNetwork, &token)) return ERROR_SUCCESS;
    EXPECT_EQ(token, nullptr);
    return GetLastError();
  }

  qv::testing::TestStateDir dir_;
};

TEST_F(SystemAccounts, TheMachineDomainIsTheHostNamesFirstLabelInUpperCaseCutTo15) {
  EXPECT_EQ(GetAccountDomainName(), kMachineDomain);
}

TEST_F(SystemAccounts, SystemUsersHaveUnixUserSids) {
  Sid sid;
  std::string domain;
  SidNameUse use = SidNameUse::kUnknown;
  ASSERT_TRUE(LookupAccountName("carol", &sid, &domain, &use));
  EXPECT_EQ(SidToText(sid), "S-1-22-1-4001");
  EXPECT_EQ(domain, "Unix User");
  EXPECT_EQ(use, SidNameUse::kUser);

  std::string name;
  ASSERT_TRUE(LookupAccountSid(sid, &name, &domain, &use));
  EXPECT_EQ(name, "carol");
  EXPECT_EQ(domain, "Unix User");

  // The domain compares without regard to case, the system's names exactly.
  Sid again;
  ASSERT_TRUE(LookupAccountName("unix user\\carol", &again, &domain));
  EXPECT_EQ(again, sid);
  ASSERT_TRUE(LookupAccountName("Unix User\\Frank", &again, &domain));
  EXPECT_EQ(SidToText(again), "S-1-22-1-4004");
  EXPECT_FALSE(LookupAccountName("Unix User\\frank", &again, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  // The machine's domain holds only the machine's accounts.
  EXPECT_FALSE(LookupAccountName(std::string(kMachineDomain) + "\\carol", &again, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);

  for (const char* unknown : {"S-1-22-1-4999", "S-1-22-2-4001", "S-1-22-1-4001-1", "S-1-5-21-1-2-3-1000"}) {
    EXPECT_FALSE(LookupAccountSid(SidOf(unknown), &name, &domain)) << unknown;
    EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED) << unknown;
  }
}

TEST_F(SystemAccounts, SystemMailboxOwnerLogsOnWithItsPasswordOnly) {
  const Sid owner = SidOf("S-1-22-1-4001");
  std::unique_ptr<AccessToken> token;
  ASSERT_TRUE(LogOnAsOwner(owner, "Carol-Secret1", &token));
  ASSERT_NE(token, nullptr);
  EXPECT_EQ(token->UserName(), "carol");
  EXPECT_EQ(token->Domain(), "Unix User");
  EXPECT_EQ(token->UserSid(), owner);

  for (const std::string& wrong :
       {std::string("carol-secret1"), std::string("Carol-Secret"), std::string("Carol-Secret1 "),
        std::string(), std::string("Carol-Secret1\0tail", 18)}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(LogOnAsOwner(owner, wrong, &token)) << wrong;
    EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE) << wrong;
    EXPECT_EQ(token, nullptr);
  }
}

TEST_F(SystemAccounts, MachineMailboxOwnerLogsOnWithItsPasswordOnly) {
  ASSERT_TRUE(NetUserAdd("Gina", "Gina-Secret5"));
  LocalAccount gina;
  ASSERT_TRUE(NetUserGetInfo("gina", &gina));
  std::unique_ptr<AccessToken> token;
  ASSERT_TRUE(LogOnAsOwner(gina.UserSid, "Gina-Secret5", &token));
  EXPECT_EQ(token->UserName(), "Gina");
  EXPECT_EQ(token->Domain(), kMachineDomain);
  EXPECT_EQ(token->UserSid(), gina.UserSid);
  EXPECT_FALSE(LogOnAsOwner(gina.UserSid, "gina-secret5", &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_EQ(token, nullptr);
}

TEST_F(SystemAccounts, RefusalsOfTheSystemKeepTheirMeaning) {
  // A user that PAM does not know, one unknown to both authorities, and an unknown domain.
  EXPECT_EQ(LogonError("erin", "Unix User", "anything"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("nobody-at-all", "", "anything"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("carol", "ELSEWHERE", "Carol-Secret1"), ERROR_LOGON_FAILURE);
  // The right password of an account that the service may not use.
  EXPECT_EQ(LogonError("dave", "Unix User", "Dave-Secret2"), ERROR_ACCOUNT_RESTRICTION);
  // The system compares names exactly.
  EXPECT_EQ(LogonError("frank", "Unix User", "Frank-Secret4"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("Frank", "unix user", "Frank-Secret4"), ERROR_SUCCESS);
}

TEST_F(SystemAccounts, TheMachinesAccountComesFirstAndTheDomainChooses) {
  ASSERT_TRUE(NetUserAdd("carol", "Local-Secret6"));
  Sid sid;
  std::string domain;
  ASSERT_TRUE(LookupAccountName("carol", &sid, &domain));
  EXPECT_EQ(domain, kMachineDomain);
  EXPECT_EQ(SidToText(sid).rfind("S-1-5-21-", 0), 0u);
  ASSERT_TRUE(LookupAccountName("Unix User\\carol", &sid, &domain));
  EXPECT_EQ(SidToText(sid), "S-1-22-1-4001");

  // Without a domain the machine's carol answers, and her password alone counts.
  EXPECT_EQ(LogonError("carol", "", "Carol-Secret1"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("carol", ".", "Local-Secret6"), ERROR_SUCCESS);
  EXPECT_EQ(LogonError("carol", kMachineDomain, "Carol-Secret1"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("carol", "Unix User", "Carol-Secret1"), ERROR_SUCCESS);
  EXPECT_EQ(LogonError("carol", "Unix User", "Local-Secret6"), ERROR_LOGON_FAILURE);

  // The system's carol keeps her SID and name.
  std::string name;
  ASSERT_TRUE(LookupAccountSid(SidOf("S-1-22-1-4001"), &name, &domain));
  EXPECT_EQ(name, "carol");
  EXPECT_EQ(domain, "Unix User");
}

}  // namespace
}  // namespace qv::platform
