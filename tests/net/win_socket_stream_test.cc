// Blocking reads from a connected socket with time-outs. The stream takes what the socket has (up to
// 8 KB) with one recv and hands it out in pieces as small as asked, so a caller reading 10 bytes at a
// time pays no system call per piece: SocketReads() and SocketWaits() count the calls that went to the
// socket (a request in one segment costs one wait and one read). The wait time-out applies to each
// wait and the read time-out to each read that goes to the socket. A reset connection raises the
// network-name error (64) as ReadFile reports it on a socket handle; a peer that has closed reads as 0;
// closing the socket from another thread wakes a waiting or reading caller at once. Last, sending on
// the socket the stream reads.
#include "net/socket_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "net/connected_socket.h"
#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/threads/sync.h"
#include "testing/platform_checks.h"

namespace qv::net {
namespace {

using namespace platform;

// A client socket on loopback and the accepted connection as the stream's socket.
struct Connection {
  TcpSocket peer;
  std::unique_ptr<TCustomWinSocket> socket;
  uint16_t peer_port = 0;

  Connection() {
    TcpSocket listener, accepted;
    std::string remote_address;
    uint16_t remote_port = 0;
    EXPECT_TRUE(listener.Listen("127.0.0.1", 0, 1)) << GetLastError();
    EXPECT_TRUE(peer.Connect("127.0.0.1", listener.LocalPort(), 5000)) << GetLastError();
    EXPECT_TRUE(listener.Accept(5000, &accepted, &remote_address, &remote_port)) << GetLastError();
    peer_port = peer.LocalPort();
    socket = std::make_unique<TCustomWinSocket>(std::move(accepted), remote_address, remote_port);
  }
};

uint32_t MillisecondsSince(uint32_t start) {
  return GetTickCount() - start;
}

TEST(WinSocketStream, WaitAndReadTimeOutsRunOutWithoutData) {
  Connection connection;
  TWinSocketStream stream(*connection.socket, 150);
  EXPECT_EQ(stream.TimeOut(), 150u);

  uint32_t start = GetTickCount();
  EXPECT_FALSE(stream.WaitForData(200));
  EXPECT_GE(MillisecondsSince(start), 180u);
  EXPECT_LT(MillisecondsSince(start), 5000u);

  char buffer[10];
  start = GetTickCount();
  EXPECT_EQ(stream.Read(buffer, 10), 0);  // the read time-out, not the wait's
  EXPECT_GE(MillisecondsSince(start), 130u);
  EXPECT_LT(MillisecondsSince(start), 5000u);

  // Data that comes later is read as usual.
  ASSERT_TRUE(connection.peer.Send("late"));
  EXPECT_TRUE(stream.WaitForData(5000));
  EXPECT_EQ(stream.Read(buffer, 10), 4);
  EXPECT_EQ(std::string(buffer, 4), "late");
}

TEST(WinSocketStream, HandsOutOneReadOfTheSocketInPiecesWithoutFurtherSystemCalls) {
  Connection connection;
  TWinSocketStream stream(*connection.socket, 5000);
  const std::string request =
      "GET /?U=anna&P=secret&E=LI&X=0 HTTP/1.1\r\nHost: 127.0.0.1\r\nx-up-devcap-max-pdu: 1400\r\n\r\n";
  ASSERT_TRUE(connection.peer.Send(request));  // one segment on loopback

  // As a request thread reads: wait for data, read 10 bytes, and again.
  std::string received;
  while (received.size() < request.size()) {
    ASSERT_TRUE(stream.WaitForData(received.empty() ? 5000 : 0));
    char piece[10];
    const int32_t count = stream.Read(piece, 10);
    ASSERT_EQ(count, static_cast<int32_t>(std::min<size_t>(10, request.size() - received.size())));
    received.append(piece, count);
  }
  EXPECT_EQ(received, request);
  EXPECT_EQ(stream.SocketReads(), 1u);
  EXPECT_EQ(stream.SocketWaits(), 1u);

  // Once the buffer is empty, waits and reads go to the socket again.
  EXPECT_FALSE(stream.WaitForData(50));
  EXPECT_EQ(stream.SocketWaits(), 2u);
  ASSERT_TRUE(connection.peer.Send("tail"));
  char rest[64];
  EXPECT_EQ(stream.Read(rest, sizeof rest), 4);
  EXPECT_EQ(stream.SocketReads(), 2u);
  EXPECT_EQ(stream.Read(rest, 0), 0);
}

TEST(WinSocketStream, APeerThatClosesGivesDataThenZeroAtOnce) {
  Connection connection;
  TWinSocketStream stream(*connection.socket, 30000);
  ASSERT_TRUE(connection.peer.Send("xy"));
  connection.peer.Close();

  EXPECT_TRUE(stream.WaitForData(5000));
  char buffer[10];
  EXPECT_EQ(stream.Read(buffer, 10), 2);
  const uint32_t start = GetTickCount();
  EXPECT_TRUE(stream.WaitForData(30000));  // the end of the stream can be read
  EXPECT_EQ(stream.Read(buffer, 10), 0);
  EXPECT_LT(MillisecondsSince(start), 10000u);  // neither waited for its time-out
  EXPECT_TRUE(connection.socket->Connected());  // until this side closes it
}

TEST(WinSocketStream, AResetConnectionRaisesTheNetworkNameError) {
  Connection connection;
  TWinSocketStream stream(*connection.socket, 5000);
  connection.peer.CloseWithReset();

  ASSERT_TRUE(stream.WaitForData(5000));
  QV_SKIP_REST_UNDER_WINE("the reset on the next recv (Wine reads a reset connection as ended)");
  char buffer[10];
  try {
    stream.Read(buffer, 10);
    FAIL() << "no error raised";
  } catch (const ESocketError& error) {
    EXPECT_EQ(error.ErrorCode, static_cast<uint32_t>(ERROR_NETNAME_DELETED));
    EXPECT_EQ(error.Message(),
              "Windows socket error: The specified network name is no longer available (64), on API 'recv'");
  }
}

TEST(WinSocketStream, ClosingTheSocketFromAnotherThreadWakesAWaitAndAReadEndsAtOnce) {
  Connection connection;
  TCustomWinSocket& socket = *connection.socket;
  EXPECT_EQ(socket.RemoteAddress(), "127.0.0.1");
  EXPECT_EQ(socket.RemotePort(), connection.peer_port);
  TWinSocketStream stream(socket, 60000);

  std::thread closer([&] {
    Sleep(100);
    socket.Close();
  });
  const uint32_t start = GetTickCount();
  EXPECT_TRUE(stream.WaitForData(60000));
  closer.join();
  char buffer[10];
  EXPECT_EQ(stream.Read(buffer, 10), 0);
  EXPECT_LT(MillisecondsSince(start), 10000u);

  EXPECT_FALSE(socket.Connected());
  EXPECT_EQ(socket.RemoteAddress(), "");
  EXPECT_EQ(socket.RemotePort(), 0);
  EXPECT_EQ(socket.PeerAddress(), "127.0.0.1");  // kept for the records of a request cut off
  EXPECT_EQ(socket.SendText("nobody listens"), 0);
  socket.Close();  // again: nothing happens

  // The peer sees the end of the connection.
  std::string data;
  size_t received = 99;
  EXPECT_TRUE(connection.peer.Receive(5000, 16, &data, &received));
  EXPECT_EQ(received, 0u);
}

TEST(WinSocketStream, SendTextHandsTheTextToTheConnection) {
  Connection connection;
  EXPECT_EQ(connection.socket->SendText("HTTP/1.0 200 OK\r\n\r\n"), 19);
  connection.socket->Close();
  std::string data;
  size_t received = 0;
  while (connection.peer.Receive(5000, 64, &data, &received) && received > 0) {
  }
  EXPECT_EQ(data, "HTTP/1.0 200 OK\r\n\r\n");
}

TEST(WinSocketStream, AFailedSendWithoutAHandlerRaisesTheSocketError) {
  Connection connection;
  TWinSocketStream stream(*connection.socket, 5000);
  connection.peer.CloseWithReset();
  ASSERT_TRUE(stream.WaitForData(5000));  // the reset has arrived
  try {
    connection.socket->SendText("too late");
    FAIL() << "no error raised";
  } catch (const ESocketError& error) {
    EXPECT_TRUE(error.ErrorCode == WSAECONNRESET || error.ErrorCode == WSAESHUTDOWN) << error.ErrorCode;
    EXPECT_EQ(error.Message(), SocketErrorMessage(error.ErrorCode, "send"));
    EXPECT_NE(error.Message().find("(" + std::to_string(error.ErrorCode) + "), on API 'send'"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace qv::net
