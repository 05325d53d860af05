#include <gtest/gtest.h>

#include <string>

#include "e2e/service_decks.h"
#include "net/socket_error.h"
#include "platform/errors/win_error.h"
#include "server_fixture.h"
#include "testing/platform_checks.h"
#include "testing/stand_in_origin.h"

namespace qv {
namespace {

using testing::CountOf;
using testing::EventsWithId;
using testing::GatewayRequest;
using testing::kPatience;
using testing::ServerEnvironment;
using testing::ServerSettings;
using testing::StartServer;
using testing::TestClient;
using testing::WaitForRequestThreads;

const std::string kLogonResponse = testing::WmlResponse(testing::ServiceDeck(testing::kLogonFormBody));

// Thread ids in lines "<prefix><id>" of the trace.
std::vector<std::string> IdsAfter(const std::string& trace, const std::string& prefix) {
  std::vector<std::string> ids;
  for (size_t at = trace.find(prefix); at != std::string::npos; at = trace.find(prefix, at + 1)) {
    const size_t from = at + prefix.size();
    ids.push_back(trace.substr(from, trace.find("\r\n", from) - from));
  }
  return ids;
}

TEST(SocketSrv, ListensOnThePortOfTheSettingsAndSaysSo) {
  // A free port: taken by a listener of the test and let go again.
  uint16_t port = 0;
  {
    platform::TcpSocket probe;
    ASSERT_TRUE(probe.Listen("127.0.0.1", 0, 1));
    port = probe.LocalPort();
  }
  ServerSettings settings;
  settings.port = port;
  ServerEnvironment environment(settings);
  TSocketSrv server;
  EXPECT_EQ(server.Port(), port);
  EXPECT_EQ(server.ServerType(), net::stThreadBlocking);
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.RequestThreadCount, 0);
  server.SetAddress("127.0.0.1");
  server.SetActive(true);
  EXPECT_TRUE(server.Active());
  EXPECT_EQ(server.LocalPort(), port);
  EXPECT_TRUE(environment.WaitForTrace("Socket listen on Port:" + std::to_string(port) + "\r\n"));

  TestClient client(port);
  client.Send(GatewayRequest("?U="));
  EXPECT_EQ(client.ReceiveUntilClosed(), kLogonResponse);

  // Switched off and on again, as pause and continue do.
  server.SetActive(false);
  server.SetActive(true);
  EXPECT_TRUE(environment.WaitForTrace("Socket listen on Port:" + std::to_string(port) + "\r\n", 2));
}

TEST(SocketSrv, APortInUseRaisesAndWritesNoListenLine) {
  platform::TcpSocket occupant;
  ASSERT_TRUE(occupant.Listen("127.0.0.1", 0, 1));
  ServerSettings settings;
  settings.port = occupant.LocalPort();
  ServerEnvironment environment(settings);
  TSocketSrv server;
  server.SetAddress("127.0.0.1");
  try {
    server.SetActive(true);
    ADD_FAILURE() << "no error";
  } catch (const net::ESocketError& error) {
    EXPECT_EQ(error.ErrorCode, platform::WSAEADDRINUSE);
  }
  EXPECT_FALSE(server.Active());
  // A line that would have been written by now is there at the latest with the next one.
  TraceWriter->Trace("marker", 1);
  ASSERT_TRUE(environment.WaitForTrace("marker"));
  EXPECT_EQ(environment.Trace().find("Socket listen on Port:"), std::string::npos);
}

TEST(SocketSrv, RefusesConnectionsBeyondTheLimitAndServesAgainWhenOneEnds) {
  ServerSettings settings;
  settings.max_connections = 2;
  settings.server_timeout_ms = 1500;
  ServerEnvironment environment(settings);
  auto server = StartServer();

  TestClient first(server->LocalPort());
  ASSERT_TRUE(WaitForRequestThreads(*server, 1));
  platform::Sleep(500);  // so that the first ends well before the second
  TestClient second(server->LocalPort());
  ASSERT_TRUE(WaitForRequestThreads(*server, 2));

  // Third: closed at once, no thread, the count unchanged.
  TestClient refused(server->LocalPort());
  EXPECT_EQ(refused.ReceiveUntilClosed(500), "");
  EXPECT_TRUE(refused.Closed());
  EXPECT_EQ(server->RequestThreadCount, 2);
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    auto events = ServerEnvironment::WaitForEvents(111, 1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].EventType, platform::EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(events[0].Strings, std::vector<std::string>{"2"});
  }
  EXPECT_TRUE(environment.WaitForTrace("Thread not started max. Connection reached!\r\n"));

  // The first ends through its wait time-out; the next connection is served again.
  EXPECT_EQ(first.ReceiveUntilClosed(), "");
  ASSERT_TRUE(first.Closed());
  ASSERT_TRUE(WaitForRequestThreads(*server, 1));
  TestClient fourth(server->LocalPort());
  fourth.Send(GatewayRequest("?U=&P="));
  EXPECT_EQ(fourth.ReceiveUntilClosed(), kLogonResponse);
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    EXPECT_EQ(EventsWithId(111).size(), 1u);  // no further refusal
  }

  EXPECT_EQ(second.ReceiveUntilClosed(), "");
  EXPECT_TRUE(WaitForRequestThreads(*server, 0));

  // Every thread that started was reported ended, by its id.
  ASSERT_TRUE(environment.WaitForTrace("Thread terminated: ", 3));
  const std::string trace = environment.Trace();
  std::vector<std::string> started = IdsAfter(trace, "Thread started: ");
  std::vector<std::string> ended = IdsAfter(trace, "Thread terminated: ");
  std::sort(started.begin(), started.end());
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(started.size(), 3u);
  EXPECT_EQ(started, ended);
}

// A connection server whose first request thread cannot be started, as when the system is out of
// threads or memory.
class ThreadStartRefusingSrv : public TSocketSrv {
 protected:
  void StartConnectionThread(net::TServerClientThread& thread) override {
    if (!refused_) {
      refused_ = true;
      throw Exception("Not enough resources are available to start a thread");
    }
    TSocketSrv::StartConnectionThread(thread);
  }

 private:
  bool refused_ = false;  // the accepting thread alone looks at it
};

TEST(SocketSrv, ARequestThreadThatCannotStartClosesItsConnectionWithAnEventAndTheServerGoesOn) {
  ServerSettings settings;
  settings.max_connections = 1;
  ServerEnvironment environment(settings);
  ThreadStartRefusingSrv server;
  server.SetAddress("127.0.0.1");
  server.SetActive(true);
  TestClient refused(server.LocalPort());
  EXPECT_EQ(refused.ReceiveUntilClosed(), "");
  EXPECT_TRUE(refused.Closed());
  // Not counted: the limit of one still lets the next connection in.
  EXPECT_TRUE(WaitForRequestThreads(server, 0));
  TestClient served(server.LocalPort());
  served.Send(GatewayRequest("?U=&P="));
  EXPECT_EQ(served.ReceiveUntilClosed(), kLogonResponse);
  EXPECT_TRUE(WaitForRequestThreads(server, 0));
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    const auto events = ServerEnvironment::WaitForEvents(100, 1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].EventType, platform::EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(
        events[0].Strings,
        std::vector<std::string>{"Thread not started: Not enough resources are available to start a thread"});
  }
  EXPECT_TRUE(environment.WaitForTrace("Thread not started: Not enough resources"));
  server.SetActive(false);  // comes back: nothing waits for the thread that never ran
}

TEST(SocketSrv, WithMaxConnectionsZeroRefusesEveryConnection) {
  ServerSettings settings;
  settings.max_connections = 0;
  ServerEnvironment environment(settings);
  auto server = StartServer();
  for (int i = 0; i < 3; ++i) {
    TestClient client(server->LocalPort());
    client.Send(GatewayRequest("?U="));
    EXPECT_EQ(client.ReceiveUntilClosed(), "");
    EXPECT_TRUE(client.Closed());
  }
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    const auto events = ServerEnvironment::WaitForEvents(111, 3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].Strings, std::vector<std::string>{"0"});
  }
  EXPECT_EQ(server->RequestThreadCount, 0);
  EXPECT_TRUE(environment.WaitForTrace("Thread not started max. Connection reached!\r\n", 3));
  EXPECT_EQ(environment.Trace().find("Thread started: "), std::string::npos);
}

// A client socket of the server whose peer has reset the connection: sending on it fails.
struct ResetConnection {
  platform::TcpSocket listener;
  std::unique_ptr<net::TServerClientWinSocket> socket;

  explicit ResetConnection(TSocketSrv& server) {
    EXPECT_TRUE(listener.Listen("127.0.0.1", 0, 1));
    platform::TcpSocket ours;
    EXPECT_TRUE(ours.Connect("127.0.0.1", listener.LocalPort(), kPatience));
    platform::TcpSocket peer;
    EXPECT_TRUE(listener.Accept(kPatience, &peer));
    peer.CloseWithReset();
    std::string data;
    size_t received = 0;
    ours.Receive(kPatience, 1, &data, &received);  // the reset has arrived
    socket = std::make_unique<net::TServerClientWinSocket>(server, std::move(ours), "127.0.0.1", 4711);
  }
};

TEST(SocketSrv, ReportsAClientSocketErrorAndLetsTheOperationReturnQuietly) {
  ServerEnvironment environment;
  TSocketSrv server;
  ResetConnection connection(server);
  EXPECT_EQ(connection.socket->SendText("HTTP/1.0 200 OK\r\n"), 0);

  ASSERT_TRUE(environment.WaitForTrace("Client Error: "));
  const std::string trace = environment.Trace();
  const size_t at = trace.find("Client Error: ");
  const std::string line = trace.substr(at, trace.find("\r\n", at) - at);
  // The system code of the failed send (a reset connection, or a broken pipe on a later send).
  EXPECT_TRUE(line == "Client Error: 10054 / RemoteAddress: 127.0.0.1ErrorEvent: Send" ||
              line == "Client Error: 10058 / RemoteAddress: 127.0.0.1ErrorEvent: Send")
      << line;
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    const auto events = EventsWithId(110);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].EventType, platform::EVENTLOG_WARNING_TYPE);
    ASSERT_EQ(events[0].Strings.size(), 3u);
    EXPECT_EQ(events[0].Strings[0], line.substr(0, line.find(" / ")));
    EXPECT_EQ(events[0].Strings[1], "RemoteAddress: 127.0.0.1");
    EXPECT_EQ(events[0].Strings[2], "ErrorEvent: Send");
  }

  // Every kind has its name; a kind outside them has none.
  int32_t code = 5;
  server.OnClientError(server, *connection.socket, static_cast<net::TErrorEvent>(6), code);
  EXPECT_EQ(code, 0);
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    const auto events = EventsWithId(110);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().Strings[2], "ErrorEvent: ");
  }
  const std::vector<std::string> names = {"General", "Send", "Receive", "Connect", "Disconnect", "Accept"};
  for (int32_t kind = 0; kind < 6; ++kind) EXPECT_EQ(ErrorEventName(kind), names[kind]);
  EXPECT_STREQ(ErrorEventName(-1), "");
}

TEST(SocketSrv, WithoutTracingAClientSocketErrorIsRaisedAndNotReported) {
  ServerSettings settings;
  settings.trace_detailness = 0;
  ServerEnvironment environment(settings);
  TSocketSrv server;
  ResetConnection connection(server);
  EXPECT_THROW(connection.socket->SendText("HTTP/1.0 200 OK\r\n"), net::ESocketError);
  int32_t code = 10054;
  server.OnClientError(server, *connection.socket, net::eeReceive, code);
  EXPECT_EQ(code, 10054);
  EXPECT_TRUE(EventsWithId(110).empty());
}

}  // namespace
}  // namespace qv
