#include <gtest/gtest.h>

#include <string>

#include "e2e/service_decks.h"
#include "platform/clock/clock.h"
#include "platform/files/file_system.h"
#include "server/request_thread.h"
#include "server_fixture.h"
#include "testing/platform_checks.h"
#include "testing/stand_in_origin.h"

namespace qv {
namespace {

using testing::CountOf;
using testing::EventsWithId;
using testing::GatewayRequest;
using testing::ServerEnvironment;
using testing::ServerSettings;
using testing::StartServer;
using testing::TestClient;
using testing::WaitForRequestThreads;

const std::string kLogonResponse = testing::WmlResponse(testing::ServiceDeck(testing::kLogonFormBody));
const std::string kErrorResponse = testing::WmlResponse(testing::ServiceDeck(testing::kErrorCardBody));

// Sends the request on a new connection (in pieces of the given size) and gives what came back
// before the server closed the connection.
std::string Exchange(const TSocketSrv& server, const std::string& request, size_t piece = std::string::npos) {
  TestClient client(server.LocalPort());
  EXPECT_TRUE(client.Send(request, piece));
  const std::string response = client.ReceiveUntilClosed();
  EXPECT_TRUE(client.Closed());
  return response;
}

TEST(SrvThread, AnswersARequestSentWholeInTenBytePiecesOrByteByByteAlike) {
  ServerEnvironment environment;
  auto server = StartServer();
  const std::string request = GatewayRequest("?U=&P=");
  EXPECT_EQ(Exchange(*server, request), kLogonResponse);
  EXPECT_EQ(Exchange(*server, request, 10), kLogonResponse);
  EXPECT_EQ(Exchange(*server, request, 1), kLogonResponse);
  // A start marker split across two pieces, after bytes that are dropped.
  EXPECT_EQ(Exchange(*server, "\r\nxxxxxxGE" + request.substr(2), 10), kLogonResponse);

  // Each time the same header reached the trace, once per request, its password masked.
  const std::string header = GatewayRequest("?U=&P=********").substr(0, request.size() + 4);
  ASSERT_TRUE(environment.WaitForTrace(header + "\r\n", 4));
  ASSERT_TRUE(environment.WaitForTrace("Request from: 127.0.0.1\r\n", 4));
  EXPECT_EQ(CountOf(environment.Trace(), header + "\r\n"), 4u);
  EXPECT_TRUE(WaitForRequestThreads(*server, 0));
}

TEST(SrvThread, AcceptsHeadersEndingInLineFeedsAloneOrACarriageReturnTwice) {
  ServerEnvironment environment;
  auto server = StartServer();
  EXPECT_EQ(Exchange(*server, GatewayRequest("?U=&P=", "\n")), kLogonResponse);
  EXPECT_EQ(Exchange(*server, "GET /?U=&P= HTTP/1.0\r\nAccept: */*\r\n\r\r\n"), kLogonResponse);
  EXPECT_EQ(Exchange(*server, "GET /?U=nobody&P=x HTTP/1.0\n\n", 3), kErrorResponse);
}

TEST(SrvThread, HandsTheRequestsValuesToTheHandlerAndLogsTheRequestWithThePasswordMasked) {
  ServerEnvironment environment;
  auto server = StartServer();
  // Lower-case names, other order, the first parameter without "&" before it.
  EXPECT_EQ(Exchange(*server, GatewayRequest("?p=s%26cret+1&e=CA&u=nobody&x=0")), kErrorResponse);
  // "U" empty: the logon form, whatever the password.
  EXPECT_EQ(Exchange(*server, GatewayRequest("cal?U=&P=secret")), kLogonResponse);
  // The upper-case name wins over the lower-case one.
  EXPECT_EQ(Exchange(*server, GatewayRequest("?u=nobody&U=")), kLogonResponse);
  EXPECT_EQ(Exchange(*server, GatewayRequest("?U=nobody&u=")), kErrorResponse);

  // A mailbox that does not exist: the error card and event 122 with the client's address.
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    const auto refusals = EventsWithId(122);
    ASSERT_EQ(refusals.size(), 2u);
    EXPECT_EQ(refusals[0].Strings, (std::vector<std::string>{"127.0.0.1", "nobody"}));
  }
  // The device's PDU size, with and without the blank after the field's colon.
  EXPECT_EQ(Exchange(*server, "GET /?U= HTTP/1.0\r\nx-up-devcap-max-pdu:2800\r\n\r\n"), kLogonResponse);
  ASSERT_TRUE(environment.WaitForTrace("MaxChar: 2800Char:"));
  EXPECT_EQ(CountOf(environment.Trace(), "MaxChar: 1400Char:"), 4u);

  ASSERT_TRUE(environment.WaitForRequestLines(5));
  const std::vector<std::string> lines = environment.RequestLines();
  ASSERT_EQ(lines.size(), 5u);
  // Time stamp, blank, address, blank, the GET line as received (its carriage return included).
  EXPECT_TRUE(lines[0].ends_with(" 127.0.0.1 GET /?p=********&e=CA&u=nobody&x=0 HTTP/1.0\r")) << lines[0];
  EXPECT_TRUE(lines[1].ends_with(" 127.0.0.1 GET /cal?U=&P=******** HTTP/1.0\r")) << lines[1];
}

TEST(SrvThread, AFailingRequestHandlerGivesNoResponseAndIsReported) {
  ServerEnvironment environment;
  // A calendar store that cannot be read: the handler's logon fails.
  ASSERT_TRUE(environment.SpoilCalendarStore());
  auto server = StartServer();
  EXPECT_EQ(Exchange(*server, GatewayRequest("?U=jdoe&P=pw")), "");
  EXPECT_TRUE(WaitForRequestThreads(*server, 0));

  // The report of the thread body at detail 3, then "Socket error " twice; the handler was freed.
  ASSERT_TRUE(environment.WaitForTrace("Exchange Session end: $"));
  ASSERT_TRUE(environment.WaitForTrace("Socket error ", 2));
  const std::string trace = environment.Trace();
  const size_t report = trace.find("Exception! ");
  ASSERT_NE(report, std::string::npos) << trace;
  const std::string message = trace.substr(report + 11, trace.find("\r\n", report) - report - 11);
  EXPECT_NE(trace.find("Exception! " + message + "\r\n\tTSrvThread at GetStackAddress\r\n\tThread ID: "),
            std::string::npos);
  EXPECT_NE(trace.find(" ClientSocket: 127.0.0.1:"), std::string::npos);
  EXPECT_NE(trace.find("\r\n\tsReadBuffer: "), std::string::npos);
  EXPECT_NE(trace.find(" sIncomingHeader: GET /?U=jdoe&P=******** HTTP/1.0\r\n"), std::string::npos);
  EXPECT_NE(trace.find(" iReadTimeOut: 1000 iWaitTimeOut: 3000 iReadCount: "), std::string::npos);
  EXPECT_EQ(CountOf(trace, "Socket error " + message + "\r\n"), 2u) << trace;
  // The request was logged before the handler failed.
  ASSERT_TRUE(environment.WaitForRequestLines(1));
}

TEST(SrvThread, DropsBytesBeforeTheGetLineAndIgnoresOtherMethods) {
  ServerEnvironment environment;
  auto server = StartServer();
  EXPECT_EQ(Exchange(*server, "POST /x HTTP/1.0\r\n\r\nget /?U=nobody\r\n\r\n" + GatewayRequest("?U=&P="), 7),
            kLogonResponse);
  ASSERT_TRUE(environment.WaitForRequestLines(1));
  EXPECT_TRUE(environment.RequestLines()[0].ends_with(" 127.0.0.1 GET /?U=&P=******** HTTP/1.0\r"))
      << environment.RequestLines()[0];
}

TEST(SrvThread, CutsOffASilentClientAfterTheWaitTimeOut) {
  ServerSettings settings;
  settings.server_timeout_ms = 600;
  ServerEnvironment environment(settings);
  auto server = StartServer();

  const uint32_t start = platform::GetTickCount();
  TestClient silent(server->LocalPort());
  EXPECT_EQ(silent.ReceiveUntilClosed(), "");
  EXPECT_TRUE(silent.Closed());
  EXPECT_GE(platform::GetTickCount() - start, 600u - 20u);  // the tick may be a little coarse

  // A request in another method or with the marker in lower case is never answered either.
  TestClient other(server->LocalPort());
  other.Send("get /?U=&P= HTTP/1.0\r\n\r\n");
  EXPECT_EQ(other.ReceiveUntilClosed(), "");
  EXPECT_TRUE(other.Closed());

  ASSERT_TRUE(environment.WaitForTrace("SocketTimeOut - Thread ID: ", 2));
  const std::string trace = environment.Trace();
  EXPECT_EQ(CountOf(trace, " ClientSocket: 127.0.0.1:"), 2u) << trace;
  EXPECT_TRUE(WaitForRequestThreads(*server, 0));
  EXPECT_TRUE(environment.RequestLines().empty());
}

TEST(SrvThread, FlushesAnOversizedRequestAndStillAnswersAGetLineThatFollows) {
  ServerEnvironment environment;
  auto server = StartServer();
  TestClient client(server->LocalPort());
  ASSERT_TRUE(client.Send("GET /?U=nobody HTTP/1.0\r\n" + std::string(6000, 'a') + "\r\n"));
  // The connection stays open after the flush.
  ASSERT_TRUE(
      environment.WaitForTrace("Warning - Maybe a HACKER ATTACK! Flushing Buffer!\r\n\tBufferData: GET /"));
  EXPECT_TRUE(client.StaysSilent(100));
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    ASSERT_EQ(ServerEnvironment::WaitForEvents(101, 1).size(), 1u);
  }
  // What is left of the old request is dropped up to the next start marker.
  ASSERT_TRUE(client.Send("\r\n" + GatewayRequest("?U=&P=")));
  EXPECT_EQ(client.ReceiveUntilClosed(), kLogonResponse);
}

TEST(SrvThread, EndsWithoutAnswerWhenTheClientGoesAway) {
  ServerEnvironment environment;
  auto server = StartServer();
  {
    TestClient client(server->LocalPort());
    ASSERT_TRUE(client.Send("GET /?U=&P= HTTP/1.0\r\n"));
    client.Socket().ShutdownSend();  // the peer's end: an empty read
    EXPECT_EQ(client.ReceiveUntilClosed(), "");
    EXPECT_TRUE(client.Closed());
  }
  {
    TestClient client(server->LocalPort());
    ASSERT_TRUE(client.Send("GET /?U=&P= HTTP/1.0\r\n"));
    ASSERT_TRUE(environment.WaitForTrace("Thread started: ", 2));
    client.Socket().CloseWithReset();  // a dropped connection: the read fails with 64
  }
  EXPECT_TRUE(WaitForRequestThreads(*server, 0));
  ASSERT_TRUE(environment.WaitForTrace("Thread terminated: ", 2));
  EXPECT_TRUE(environment.RequestLines().empty());
}

// A stop or pause closes the client socket while a request is being handled: the request's log line
// still names the client.
TEST(SrvThread, ARequestWhoseSocketWasClosedMeanwhileIsLoggedWithItsClientsAddress) {
  ServerEnvironment environment;
  auto server = StartServer();
  platform::TcpSocket listener;
  platform::TcpSocket peer;
  platform::TcpSocket accepted;
  std::string address;
  uint16_t port = 0;
  ASSERT_TRUE(listener.Listen("127.0.0.1", 0, 1));
  ASSERT_TRUE(peer.Connect("127.0.0.1", listener.LocalPort(), testing::kPatience));
  ASSERT_TRUE(listener.Accept(testing::kPatience, &accepted, &address, &port));
  net::TServerClientWinSocket socket(*server, std::move(accepted), address, port);
  TSrvThread thread(&socket);  // never started: the request is handled on this thread
  socket.Close();

  EXPECT_EQ(thread.HandleRequest("GET /?U=&P=pw HTTP/1.0\r\nHost: 127.0.0.1"), kLogonResponse);
  ASSERT_TRUE(environment.WaitForRequestLines(1));
  const std::vector<std::string> lines = environment.RequestLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with(" 127.0.0.1 GET /?U=&P=******** HTTP/1.0\r")) << lines[0];
}

// No password in the trace at any level, whatever path the request takes: a failed logon, an
// oversized request that is flushed, a handler that fails (the thread's report with its working
// values, the password's last bytes alone in the latest read).
TEST(SrvThread, NoPasswordReachesTheTraceAtAnyLevel) {
  for (const int32_t detail : {1, 2, 3}) {
    SCOPED_TRACE(detail);
    ServerSettings settings;
    settings.trace_detailness = detail;
    ServerEnvironment environment(settings);
    auto server = StartServer();
    EXPECT_EQ(Exchange(*server, GatewayRequest("?U=nobody&P=Secr3t&P=Secr3t")), kErrorResponse);
    {
      TestClient client(server->LocalPort());
      ASSERT_TRUE(client.Send("GET /?U=nobody&P=Secr3t HTTP/1.0\r\n" + std::string(6000, 'a')));
      ASSERT_TRUE(environment.WaitForTrace("Warning - Maybe a HACKER ATTACK! Flushing Buffer!"));
    }
    // A store that cannot be read makes the handler fail. The reads come in pieces of ten bytes: the
    // last holds the password's end and the blank line.
    ASSERT_TRUE(environment.SpoilCalendarStore());
    EXPECT_EQ(Exchange(*server, "GET /?U=jdoe&X=00&P=Secr3t\n\n"), "");
    ASSERT_TRUE(environment.WaitForTrace("\r\n\tTSrvThread at "));
    EXPECT_TRUE(WaitForRequestThreads(*server, 0));
    server.reset();
    const std::string trace = environment.Trace();
    EXPECT_EQ(trace.find("Secr3t"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("ecr3t"), std::string::npos) << trace;
    if (detail == 3) {
      EXPECT_NE(trace.find("sReadBuffer: \n\n sIncomingData: "), std::string::npos) << trace;
    }
  }
}

TEST(SrvThread, SwitchingTheServerOffEndsRequestsInProgressWithoutAnswer) {
  ServerEnvironment environment;
  auto server = StartServer();
  TestClient first(server->LocalPort());
  TestClient second(server->LocalPort());
  ASSERT_TRUE(second.Send("GET /?U=&P= HTTP/1.0\r\n"));
  ASSERT_TRUE(WaitForRequestThreads(*server, 2));
  server->SetActive(false);
  EXPECT_EQ(server->RequestThreadCount, 0);
  EXPECT_EQ(first.ReceiveUntilClosed(), "");
  EXPECT_TRUE(first.Closed());
  EXPECT_EQ(second.ReceiveUntilClosed(), "");
  EXPECT_TRUE(second.Closed());
}

}  // namespace
}  // namespace qv
