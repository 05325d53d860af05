// The request handler with the cache of verified logons over the machine's real account database:
// a cached logon answers without a check, and every change of the account (made through the same
// database file that `qvanctl account` writes, so from any process) is seen by the next request.
// Without a cache installed the handler checks every request, which the other handler tests show.
#include <gtest/gtest.h>

#include "exchange/logon_cache.h"
#include "exchange/pages_fixture.h"
#include "platform/accounts/local_accounts.h"

namespace qv::testing {
namespace {

class CachedLogonTest : public OwnedMailboxTest {
 protected:
  static bool LogsOn(const std::string& password) {
    return Respond("jdoe", password, "", "0").find("Team meeting") != std::string::npos;
  }

  TLogonCache cache_{300};
  ProcessWide<TLogonCache>::Installation installed_{LogonCache, cache_};
};

TEST_F(CachedLogonTest, ACachedLogonAnswersWithoutACheckAndNamesTheAccount) {
  // Under a version that never moves, a changed password is not seen: the answer is the cache's.
  TLogonCache frozen(
      300, 16, [] { return 0u; }, [] { return 1; });
  const ProcessWide<TLogonCache>::Installation frozen_installed(LogonCache, frozen);
  ASSERT_TRUE(LogsOn("secret"));
  EXPECT_EQ(frozen.Size(), 1u);
  ASSERT_TRUE(platform::NetUserSetPassword("jdoe", "changed"));
  TWCExchange handler(nullptr);
  handler.Mailbox = "jdoe";
  handler.Password = "secret";
  std::string reason;
  ASSERT_TRUE(handler.LogonMailbox(&reason));
  ASSERT_NE(handler.LogonToken, nullptr);
  EXPECT_EQ(handler.LogonToken->UserName(), "jdoe");
  EXPECT_EQ(handler.LogonToken->UserSid(), owner_);
  EXPECT_EQ(handler.LogonToken->Domain(), platform::GetAccountDomainName());
}

TEST_F(CachedLogonTest, ANewPasswordTakesEffectOnTheNextRequest) {
  ASSERT_TRUE(LogsOn("secret"));
  ASSERT_EQ(cache_.Size(), 1u);
  ASSERT_TRUE(platform::NetUserSetPassword("jdoe", "changed"));
  EXPECT_FALSE(LogsOn("secret"));
  EXPECT_TRUE(LogsOn("changed"));
}

TEST_F(CachedLogonTest, ADeletedOrDisabledAccountIsRefusedOnTheNextRequest) {
  ASSERT_TRUE(LogsOn("secret"));
  ASSERT_TRUE(platform::NetUserSetDisabled("jdoe", true));
  EXPECT_FALSE(LogsOn("secret"));
  ASSERT_TRUE(platform::NetUserSetDisabled("jdoe", false));
  ASSERT_TRUE(LogsOn("secret"));
  ASSERT_TRUE(platform::NetUserDel("jdoe"));
  EXPECT_FALSE(LogsOn("secret"));
  // A new account of the same name is another account, with another SID: the mailbox's owner is gone.
  ASSERT_TRUE(platform::NetUserAdd("jdoe", "secret"));
  EXPECT_FALSE(LogsOn("secret"));
}

TEST_F(CachedLogonTest, AWrongPasswordIsRefusedWhileTheRightOneIsCachedAndLeavesItCached) {
  ASSERT_TRUE(LogsOn("secret"));
  EXPECT_FALSE(LogsOn("wrong"));
  EXPECT_FALSE(LogsOn("secret "));
  EXPECT_EQ(cache_.Size(), 1u);
  EXPECT_TRUE(LogsOn("secret"));
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 2u);  // one event 122 for each refusal
  EXPECT_EQ(events[0].EventID, 122u);
  EXPECT_EQ(events[1].EventID, 122u);
}

TEST_F(CachedLogonTest, ARefusedLogonIsNotCached) {
  EXPECT_FALSE(LogsOn("wrong"));
  EXPECT_EQ(cache_.Size(), 0u);
  ASSERT_TRUE(platform::NetUserSetDisabled("jdoe", true));
  EXPECT_FALSE(LogsOn("secret"));  // the right password of a disabled account
  EXPECT_EQ(cache_.Size(), 0u);
}

}  // namespace
}  // namespace qv::testing
