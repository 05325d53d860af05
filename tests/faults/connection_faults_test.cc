// Clients that misbehave, and more clients than the service admits, against the running program:
// after each scenario the service answers normally, holds no thread or descriptor more than before,
// and its request log has one whole line per answered request.
#include <thread>

#include "faults/service_fault_fixture.h"

namespace qv {
namespace {

using namespace qv::testing;
using ::testing::HasSubstr;

// Every connection the limit admits stays silent; the next ones are refused with event 111 until the
// silent ones have timed out, and then the service serves again.
TEST_F(ServiceFaultTest, SilentConnectionsUpToTheLimitAreTimedOutAndTheLimitRefusesMore) {
  std::vector<platform::TcpSocket> silent(kMaxConnections);
  for (platform::TcpSocket& client : silent) ASSERT_TRUE(client.Connect("127.0.0.1", port_, kPatience));
  ASSERT_TRUE(WaitForThreads(baseline_.threads + kMaxConnections));

  constexpr int kRefused = 3;
  for (int i = 0; i < kRefused; ++i) {
    const Exchange refused = Request(NextRequests(1), nullptr, kServerTimeOutMs / 2);
    EXPECT_TRUE(refused.closed) << "the connection beyond the limit is closed at once";
    EXPECT_EQ(refused.answer, "");
  }
  const uint32_t start = platform::GetTickCount();
  while (EventCount(111) < kRefused && platform::GetTickCount() - start < kPatience) platform::Sleep(10);
  EXPECT_EQ(EventCount(111), static_cast<size_t>(kRefused));
  EXPECT_THAT(QvanEvents(), ::testing::Contains("111 2: 4"));

  // The service ends each silent connection after its wait time-out, without an answer.
  for (platform::TcpSocket& client : silent) {
    std::string answer;
    size_t received = 1;
    const bool read = client.Receive(kPatience, 4096, &answer, &received);
    EXPECT_TRUE(!read || received == 0) << "no answer, the connection ends";
    EXPECT_EQ(answer, "");
  }
  EXPECT_THAT(Trace(), HasSubstr("SocketTimeOut - Thread ID: "));
  ExpectRecovered();
}

// A header of 100,000 bytes, as one line and as many lines: flushed once it passes 5000 bytes
// (event 101), never answered, and the connection ends with the wait time-out.
TEST_F(ServiceFaultTest, AHeaderOf100000BytesIsFlushedAndNeverAnswered) {
  const std::string start_line = "GET /?U=&P=secret&E=CA&X=900 HTTP/1.0\r\n";
  const std::string one_line = start_line + "X-Pad: " + std::string(100000, 'a') + "\r\n\r\n";
  std::string many_lines = start_line;
  while (many_lines.size() < 100000) many_lines += "X-Pad: " + std::string(90, 'b') + "\r\n";
  many_lines += "\r\n";

  Exchange first;
  Exchange second;
  std::thread other([&] { second = Talk(port_, many_lines, kPatience); });
  first = Talk(port_, one_line, kPatience);
  other.join();
  for (const Exchange* exchange : {&first, &second}) {
    EXPECT_TRUE(exchange->closed);
    EXPECT_EQ(exchange->answer, "");
  }
  EXPECT_EQ(EventCount(101), 2u);
  EXPECT_THAT(Trace(), HasSubstr("Warning - Maybe a HACKER ATTACK! Flushing Buffer!\r\n\tBufferData: GET /"));
  ExpectRecovered();
}

// Bytes that are no request: never answered, whether the client closes, resets or waits.
TEST_F(ServiceFaultTest, BinaryGarbageIsNeverAnswered) {
  std::string garbage;
  uint32_t state = 12345;
  while (garbage.size() < 20000) {
    state = state * 1103515245 + 12345;
    garbage += static_cast<char>(state >> 16);
  }
  ASSERT_EQ(garbage.find("GET /"), std::string::npos);

  // Waits for the service to end the connection.
  const Exchange waited = Talk(port_, garbage, kPatience);
  EXPECT_TRUE(waited.closed);
  EXPECT_EQ(waited.answer, "");
  // Closes after sending, and resets after sending, while the service still reads.
  for (const bool reset : {false, true}) {
    platform::TcpSocket client;
    ASSERT_TRUE(client.Connect("127.0.0.1", port_, kPatience));
    ASSERT_TRUE(client.Send(garbage));
    if (reset)
      client.CloseWithReset();
    else
      client.Close();
  }
  EXPECT_EQ(EventCount(101), 0u) << "without \"GET /\" nothing is kept to flush";
  ExpectRecovered();
}

// Clients that go away half-way: in the middle of the request (an orderly close, a reset, or only
// their sending side closed while they wait), and right after a whole request without reading the
// answer.
TEST_F(ServiceFaultTest, ClientsThatCloseHalfWayLeaveNothingBehind) {
  constexpr int kRounds = 5;
  const std::string partial = "GET /?U=&P=secret&E=CA&X=1 HTTP/1.0\r\nHost: 127";
  for (int round = 0; round < kRounds; ++round) {
    // Each client comes once the service has let go of the one before: with a limit of 4 connections,
    // clients still being let go of could make the service refuse the next one, which is not what
    // this test is about.
    ASSERT_TRUE(WaitForThreads(baseline_.threads));
    {
      platform::TcpSocket client;
      ASSERT_TRUE(client.Connect("127.0.0.1", port_, kPatience));
      ASSERT_TRUE(client.Send(partial));
      client.Close();
    }
    ASSERT_TRUE(WaitForThreads(baseline_.threads));
    {
      platform::TcpSocket client;
      ASSERT_TRUE(client.Connect("127.0.0.1", port_, kPatience));
      ASSERT_TRUE(client.Send(partial));
      client.CloseWithReset();
    }
    ASSERT_TRUE(WaitForThreads(baseline_.threads));
    {
      // The service reads the end of the stream and ends the connection without an answer.
      platform::TcpSocket client;
      ASSERT_TRUE(client.Connect("127.0.0.1", port_, kPatience));
      ASSERT_TRUE(client.Send(partial));
      ASSERT_TRUE(client.ShutdownSend());
      std::string answer;
      size_t received = 1;
      const bool read = client.Receive(kPatience, 4096, &answer, &received);
      EXPECT_TRUE(!read || received == 0);
      EXPECT_EQ(answer, "");
    }
    ASSERT_TRUE(WaitForThreads(baseline_.threads));
    {
      // A whole request whose client is gone before the answer: the service may have logged it.
      const int n = NextRequests(1);
      platform::TcpSocket client;
      ASSERT_TRUE(client.Connect("127.0.0.1", port_, kPatience));
      ASSERT_TRUE(client.Send(LogonRequest(n)));
      client.CloseWithReset();
      maybe_lines_.push_back(LoggedPath(LogonRequestPath(n)));
    }
  }
  ExpectRecovered();
}

// Many clients at once, three times as many as the service admits: each request is answered in full
// or refused (event 111), and each answer has its line in the request log.
TEST_F(ServiceFaultTest, LoadBeyondTheLimitIsAnsweredOrRefused) {
  constexpr int kClients = 3 * kMaxConnections;
  constexpr int kRequestsPerClient = 25;
  constexpr uint32_t kTimeLimitMs = 60000;  // the clients stop sending when it has passed
  Outcomes outcomes;
  const int first = NextRequests(kClients * kRequestsPerClient);
  const size_t refusals_before = EventCount(111);
  const uint32_t start = platform::GetTickCount();
  ClientThreads(kClients, kRequestsPerClient, kTimeLimitMs, [&](int c, int r) {
    Request(first + c * kRequestsPerClient + r, &outcomes);
    return true;
  }).Join();
  const int answered = static_cast<int>(outcomes.Answered().size());
  EXPECT_EQ(answered + outcomes.refused(), kClients * kRequestsPerClient) << "time limit reached";
  EXPECT_GT(answered, 0);
  EXPECT_EQ(outcomes.garbled(), 0);
  EXPECT_EQ(outcomes.unfinished(), 0);
  const uint32_t wait_start = platform::GetTickCount();
  while (EventCount(111) - refusals_before < static_cast<size_t>(outcomes.refused()) &&
         platform::GetTickCount() - wait_start < kPatience)
    platform::Sleep(10);
  EXPECT_EQ(EventCount(111) - refusals_before, static_cast<size_t>(outcomes.refused()));
  // A refused request is never logged.
  for (const std::string& path : outcomes.Answered()) expected_lines_.push_back(LoggedPath(path));
  std::cout << answered << " answered, " << outcomes.refused() << " refused in "
            << platform::GetTickCount() - start << " ms\n";
  ExpectRecovered();
}

}  // namespace
}  // namespace qv
