// The cache of verified logons on its own, on a clock and an accounts version the test moves: what
// it answers for, what makes an entry stale, its bound, and many threads at once. The request
// handler's use of it over the real account database is in logon_cache_request_test.cc.
#include "exchange/logon_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace qv::testing {
namespace {

const TLogonCache::Account kMachineAccount{"jdoe", "HOST", "machine-sid"};
const TLogonCache::Account kSystemAccount{"carol", platform::kUnixUserDomain, "system-sid"};

// A cache of 60 seconds and 3 entries on a clock and an accounts version the test moves.
struct CacheOnAClock {
  uint32_t now = 0xFFFF0000;  // the tick wraps around during the tests
  std::optional<uint64_t> version = 7;
  TLogonCache cache{60, 3, [this] { return now; }, [this] { return version; }};

  void Remember(const std::string& owner, const std::string& password,
                const TLogonCache::Account& account = kMachineAccount) {
    cache.Remember(owner, password, account, cache.AccountsVersion());
  }
  bool Finds(const std::string& owner, const std::string& password) {
    return cache.Find(owner, password, cache.AccountsVersion()).has_value();
  }
};

TEST(TLogonCache, AnswersForTheVerifiedPasswordAloneAndKeepsTheEntryThroughWrongOnes) {
  CacheOnAClock clock;
  EXPECT_FALSE(clock.Finds("owner", "secret"));
  clock.Remember("owner", "secret");
  const auto found = clock.cache.Find("owner", "secret", clock.version);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->UserName, "jdoe");
  EXPECT_EQ(found->Domain, "HOST");
  EXPECT_EQ(found->UserSid, "machine-sid");
  for (const std::string& wrong : {std::string("Secret"), std::string("secret "), std::string("secre"),
                                   std::string(), std::string("secret\0x", 8)})
    EXPECT_FALSE(clock.Finds("owner", wrong));
  EXPECT_FALSE(clock.Finds("another owner", "secret"));
  EXPECT_TRUE(clock.Finds("owner", "secret")) << "a wrong password left the good entry";
  // A later successful check with another password (the system's accounts change theirs out of
  // sight) takes the entry's place.
  clock.Remember("owner", "changed");
  EXPECT_TRUE(clock.Finds("owner", "changed"));
  EXPECT_FALSE(clock.Finds("owner", "secret"));
  EXPECT_EQ(clock.cache.Size(), 1u);
}

TEST(TLogonCache, TheMachinesAccountsHoldWhileTheirVersionDoesTheSystemsForTheLifetime) {
  CacheOnAClock clock;
  clock.Remember("machine", "secret");
  clock.Remember("system", "secret", kSystemAccount);
  clock.version = 8;  // an account changed, in this process or another
  EXPECT_FALSE(clock.Finds("machine", "secret"));
  EXPECT_TRUE(clock.Finds("system", "secret"));
  clock.version = 7;  // an entry that went stale is gone, not revived
  EXPECT_FALSE(clock.Finds("machine", "secret"));
  // A check that began before a change counts under the version it began with.
  clock.cache.Remember("machine", "secret", kMachineAccount, 6);
  EXPECT_FALSE(clock.Finds("machine", "secret"));

  clock.Remember("machine", "secret");
  clock.now += 59999;
  EXPECT_TRUE(clock.Finds("machine", "secret"));
  EXPECT_TRUE(clock.Finds("system", "secret"));
  clock.now += 1;
  EXPECT_FALSE(clock.Finds("machine", "secret"));
  EXPECT_FALSE(clock.Finds("system", "secret"));
  EXPECT_EQ(clock.cache.Size(), 0u);
}

TEST(TLogonCache, WithoutAVersionKeepsOnlyTheSystemsAccounts) {
  CacheOnAClock clock;
  clock.version = std::nullopt;
  clock.Remember("machine", "secret");
  clock.Remember("system", "secret", kSystemAccount);
  EXPECT_FALSE(clock.Finds("machine", "secret"));
  EXPECT_TRUE(clock.Finds("system", "secret"));
  // An entry made under a version is not vouched for once the version cannot be read.
  clock.version = 7;
  clock.Remember("machine", "secret");
  clock.version = std::nullopt;
  EXPECT_FALSE(clock.Finds("machine", "secret"));
}

TEST(TLogonCache, KeepsABoundedNumberTheLeastRecentlyUsedGoingFirst) {
  CacheOnAClock clock;
  clock.Remember("a", "1");
  clock.Remember("b", "2");
  clock.Remember("c", "3");
  EXPECT_TRUE(clock.Finds("a", "1"));  // now b is the least recently used
  clock.Remember("d", "4");
  EXPECT_EQ(clock.cache.Size(), 3u);
  EXPECT_FALSE(clock.Finds("b", "2"));
  EXPECT_TRUE(clock.Finds("a", "1"));
  EXPECT_TRUE(clock.Finds("c", "3"));
  EXPECT_TRUE(clock.Finds("d", "4"));
  // Remembering an owner again uses its entry, not another.
  clock.Remember("c", "3");
  EXPECT_EQ(clock.cache.Size(), 3u);
}

TEST(TLogonCache, ALifetimeIsAtLeastASecondAndAtMostADay) {
  for (const int32_t seconds : {-5, 0, 1}) {
    CacheOnAClock clock;
    TLogonCache cache(
        seconds, 3, [&clock] { return clock.now; }, [] { return 1; });
    cache.Remember("owner", "secret", kMachineAccount, 1);
    clock.now += 999;
    EXPECT_TRUE(cache.Find("owner", "secret", 1)) << seconds;
    clock.now += 1;
    EXPECT_FALSE(cache.Find("owner", "secret", 1)) << seconds;
  }
  CacheOnAClock clock;
  TLogonCache cache(
      INT32_MAX, 3, [&clock] { return clock.now; }, [] { return 1; });
  cache.Remember("owner", "secret", kMachineAccount, 1);
  clock.now += 86400u * 1000 - 1;
  EXPECT_TRUE(cache.Find("owner", "secret", 1));
  clock.now += 1;
  EXPECT_FALSE(cache.Find("owner", "secret", 1));
}

// Many request threads at once, finding, failing and remembering over a small capacity while the
// version moves: ThreadSanitizer checks the locking, and no thread may be let in with a wrong password.
TEST(TLogonCache, ServesManyThreadsAtOnce) {
  std::atomic<uint64_t> version{1};
  TLogonCache cache(
      300, 8, [] { return 0u; }, [&version] { return version.load(); });
  std::atomic<int> wrongly_accepted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 400; ++i) {
        const std::string owner = "owner" + std::to_string((t + i) % 12);
        const auto current = cache.AccountsVersion();
        if (cache.Find(owner, "wrong", current)) ++wrongly_accepted;
        if (!cache.Find(owner, "right", current)) cache.Remember(owner, "right", kMachineAccount, current);
        if (i % 97 == 0) ++version;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrongly_accepted, 0);
  EXPECT_LE(cache.Size(), 8u);
}

}  // namespace
}  // namespace qv::testing
