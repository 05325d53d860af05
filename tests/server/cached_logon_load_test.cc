// The connection server keeps the cache of verified logons as LogonCacheSeconds says, and its request
// threads share it: many clients asking for list pages of one mailbox at once, with the right and a
// wrong password, while the account's password changes (ThreadSanitizer watches the sharing).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "exchange/logon_cache.h"
#include "platform/accounts/local_accounts.h"
#include "server_fixture.h"
#include "store/calendar_store.h"
#include "testing/platform_checks.h"

namespace qv {
namespace {

using testing::GatewayRequest;
using testing::ServerEnvironment;
using testing::ServerSettings;
using testing::StartServer;
using testing::TestClient;

TEST(CachedLogonServer, TheServerKeepsACacheOnlyWhileItLivesAndWhenTheSettingAsks) {
  {
    ServerEnvironment environment;
    {
      TSocketSrv server;
      EXPECT_TRUE(LogonCache.Exists());
    }
    EXPECT_FALSE(LogonCache.Exists());
  }
  ServerSettings off;
  off.logon_cache_seconds = 0;
  ServerEnvironment environment(off);
  TSocketSrv server;
  EXPECT_FALSE(LogonCache.Exists());
}

TEST(CachedLogonServer, ConcurrentRequestsShareTheCacheAndSeeAPasswordChange) {
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoAccounts);
  ServerSettings settings;
  settings.trace_detailness = 0;
  settings.logging = false;
  settings.logon_failure_limit = 1000;  // the wrong passwords must not space out the right ones
  ServerEnvironment environment(settings);
  ASSERT_TRUE(platform::NetUserAdd("jdoe", "secret"));
  platform::LocalAccount account;
  ASSERT_TRUE(platform::NetUserGetInfo("jdoe", &account));
  CalendarStore().AddMailbox("jdoe", "John Doe", account.UserSid);
  auto server = StartServer();

  // An empty calendar's list page, and the error card.
  auto answer = [&](const std::string& password) {
    TestClient client(server->LocalPort());
    client.Send(GatewayRequest("?U=jdoe&P=" + password));
    const std::string received = client.ReceiveUntilClosed();
    if (received.find("no appointments") != std::string::npos) return 'A';
    if (received.find("Could not logon you") != std::string::npos) return 'R';
    return '?';
  };
  ASSERT_EQ(answer("secret"), 'A');

  std::atomic<int> accepted{0};
  std::atomic<int> wrongly{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 6; ++c) {
    clients.emplace_back([&, c] {
      for (int r = 0; r < 20; ++r) {
        const bool right = (c + r) % 4 != 0;
        const char got = answer(right ? "secret" : "wrong");
        if (got == (right ? 'A' : 'R')) {
          if (right) ++accepted;
        } else {
          ++wrongly;
        }
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(wrongly, 0);
  EXPECT_GT(accepted, 0);

  ASSERT_TRUE(platform::NetUserSetPassword("jdoe", "changed"));
  EXPECT_EQ(answer("secret"), 'R');
  EXPECT_EQ(answer("changed"), 'A');
}

}  // namespace
}  // namespace qv
