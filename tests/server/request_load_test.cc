// Many clients at once, more than the server admits: every request is either answered in full or
// refused by a closed connection, and the server's count, the event log and the request log agree.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "e2e/service_decks.h"
#include "platform/clock/clock.h"
#include "server_fixture.h"
#include "testing/platform_checks.h"
#include "testing/stand_in_origin.h"

namespace qv {
namespace {

using testing::GatewayRequest;
using testing::ServerEnvironment;
using testing::ServerSettings;
using testing::StartServer;
using testing::TestClient;
using testing::WaitForRequestThreads;

constexpr int kClients = 24;
constexpr int kRequestsPerClient = 100;
constexpr int kMaxConnections = 8;
constexpr uint32_t kTimeLimitMs = 120000;  // the clients stop sending when it has passed

TEST(RequestLoad, EveryRequestIsAnsweredInFullOrRefusedAndEveryAnswerIsLogged) {
  ServerSettings settings;
  settings.max_connections = kMaxConnections;
  settings.trace_detailness = 0;
  ServerEnvironment environment(settings);
  auto server = StartServer();
  const std::string response = testing::WmlResponse(testing::ServiceDeck(testing::kLogonFormBody));

  std::atomic<int> answered{0};
  std::atomic<int> refused{0};
  std::atomic<int> garbled{0};
  std::atomic<int> unfinished{0};
  const uint32_t start = platform::GetTickCount();
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int r = 0; r < kRequestsPerClient; ++r) {
        if (platform::GetTickCount() - start > kTimeLimitMs) return;
        TestClient client(server->LocalPort());
        // A password of its own per request, to be found masked in the request log.
        client.Send(GatewayRequest("?U=&P=pw" + std::to_string(c) + "x" + std::to_string(r) + "&E=CA&X=0"));
        const std::string received = client.ReceiveUntilClosed();
        if (!client.Closed())
          ++unfinished;
        else if (received == response)
          ++answered;
        else if (received.empty())
          ++refused;
        else
          ++garbled;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  const uint32_t elapsed = platform::GetTickCount() - start;

  EXPECT_EQ(garbled, 0);
  EXPECT_EQ(unfinished, 0);
  EXPECT_GT(answered, 0);
  EXPECT_EQ(answered + refused + garbled + unfinished, kClients * kRequestsPerClient) << "time limit reached";
  EXPECT_TRUE(WaitForRequestThreads(*server, 0));

  // One event 111 per refusal.
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    const auto events = ServerEnvironment::WaitForEvents(111, static_cast<size_t>(refused.load()));
    EXPECT_EQ(events.size(), static_cast<size_t>(refused.load()));
    for (const auto& event : events) EXPECT_EQ(event.Strings, std::vector<std::string>{"8"});
  }

  // One request-log line per answer, each with the password masked.
  ASSERT_TRUE(environment.WaitForRequestLines(static_cast<size_t>(answered.load())));
  const std::vector<std::string> lines = environment.RequestLines();
  EXPECT_EQ(lines.size(), static_cast<size_t>(answered.load()));
  size_t masked = 0;
  for (const std::string& line : lines) {
    if (line.find(" 127.0.0.1 GET /?U=&P=********&E=CA&X=0 HTTP/1.0\r") != std::string::npos) ++masked;
    EXPECT_EQ(line.find("pw"), std::string::npos) << line;
  }
  EXPECT_EQ(masked, lines.size());
  std::cout << answered << " answered, " << refused << " refused in " << elapsed << " ms\n";
}

}  // namespace
}  // namespace qv
