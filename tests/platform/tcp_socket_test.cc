#include "platform/sockets/tcp_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"

namespace qv::platform {
namespace {

// A listener on a free loopback port with one client connected to it.
struct ConnectedPair {
  TcpSocket listener, client, server;
  std::string remote_address;

  ConnectedPair() {
    EXPECT_TRUE(listener.Listen("127.0.0.1", 0, 4)) << GetLastError();
    EXPECT_NE(listener.LocalPort(), 0);
    EXPECT_TRUE(client.Connect("127.0.0.1", listener.LocalPort(), 2000)) << GetLastError();
    EXPECT_TRUE(listener.Accept(2000, &server, &remote_address)) << GetLastError();
  }
};

// Receives until the peer closes or nothing comes for a second.
std::string ReceiveAll(TcpSocket& socket) {
  std::string data;
  size_t received = 0;
  while (socket.Receive(1000, 7, &data, &received) && received > 0) {
  }
  return data;
}

TEST(TcpSocket, CarriesBytesBothWaysAndTellsTheEndOfTheStream) {
  ConnectedPair pair;
  EXPECT_EQ(pair.remote_address, "127.0.0.1");
  static constexpr char kRequest[] = "GET /?U=a%20b&P=x+y HTTP/1.0\r\n\r\n\0tail";
  const std::string request(kRequest, sizeof kRequest - 1);
  ASSERT_TRUE(pair.client.Send(request));
  ASSERT_TRUE(pair.client.ShutdownSend());
  EXPECT_EQ(ReceiveAll(pair.server), request);  // in pieces of at most 7 bytes, nothing lost

  const std::string response(100000, 'w');  // more than one send buffer's worth
  std::thread sender([&] {
    EXPECT_TRUE(pair.server.Send(response));
    pair.server.Close();
  });
  EXPECT_EQ(ReceiveAll(pair.client).size(), response.size());
  sender.join();
}

TEST(TcpSocket, ListensOnIPv6AloneWhereTheSystemHasIt) {
  TcpSocket listener;
  if (!listener.Listen("::1", 0, 4)) GTEST_SKIP() << "no IPv6 here: " << GetLastError();
  const uint16_t port = listener.LocalPort();
  ASSERT_NE(port, 0);
  TcpSocket client, server;
  ASSERT_TRUE(client.Connect("::1", port, 2000)) << GetLastError();
  std::string remote_address;
  ASSERT_TRUE(listener.Accept(2000, &server, &remote_address)) << GetLastError();
  EXPECT_EQ(remote_address, "::1");
  // The IPv6 socket takes no IPv4 connection: the same port is free to listen on for IPv4.
  TcpSocket v4;
  EXPECT_TRUE(v4.Listen("127.0.0.1", port, 4)) << GetLastError();
  // Neither an IPv4 nor an IPv6 address.
  TcpSocket wrong;
  EXPECT_FALSE(wrong.Listen("localhost", 0, 4));
  EXPECT_EQ(GetLastError(), WSAEINVAL);
}

TEST(TcpSocket, TimeOutsEndWaitsWithWsaeTimedOut) {
  ConnectedPair pair;
  TcpSocket nobody;
  EXPECT_FALSE(pair.listener.Accept(50, &nobody));
  EXPECT_EQ(GetLastError(), WSAETIMEDOUT);
  EXPECT_FALSE(nobody.IsValid());

  std::string data = "kept";
  size_t received = 99;
  EXPECT_FALSE(pair.server.Receive(50, 16, &data, &received));
  EXPECT_EQ(GetLastError(), WSAETIMEDOUT);
  EXPECT_EQ(received, 0u);
  EXPECT_EQ(data, "kept");
}

TEST(TcpSocket, AnAcceptWithoutTimeOutTakesAConnectionAndIsWokenByShutdown) {
  TcpSocket listener;
  ASSERT_TRUE(listener.Listen("127.0.0.1", 0, 4)) << GetLastError();
  TcpSocket client;
  ASSERT_TRUE(client.Connect("127.0.0.1", listener.LocalPort(), 2000)) << GetLastError();
  TcpSocket accepted;
  EXPECT_TRUE(listener.Accept(INFINITE, &accepted)) << GetLastError();
  EXPECT_TRUE(accepted.IsValid());

  bool result = true;
  uint32_t error = 0;
  std::thread waiter([&] {
    TcpSocket none;
    result = listener.Accept(INFINITE, &none);
    error = GetLastError();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it block in the accept
  listener.Shutdown();
  waiter.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(error, static_cast<uint32_t>(WSAEINVAL));
}

TEST(TcpSocket, FailuresSetWinsockCodes) {
  TcpSocket listener;
  ASSERT_TRUE(listener.Listen("127.0.0.1", 0, 1));
  const uint16_t port = listener.LocalPort();
  TcpSocket second;
  EXPECT_FALSE(second.Listen("127.0.0.1", port, 1));
  EXPECT_EQ(GetLastError(), WSAEADDRINUSE);
  listener.Close();
  EXPECT_EQ(listener.LocalPort(), 0);

  TcpSocket client;
  EXPECT_FALSE(client.Connect("127.0.0.1", port, 1000));  // nobody listens there any more
  EXPECT_EQ(GetLastError(), WSAECONNREFUSED);
  EXPECT_FALSE(client.Connect("localhost", port, 1000));  // dotted addresses only
  EXPECT_EQ(GetLastError(), WSAEINVAL);
  EXPECT_FALSE(client.Send("x"));
  EXPECT_EQ(GetLastError(), WSAENOTSOCK);
}

TEST(TcpSocket, SendingToAPeerThatWentAwayFailsInsteadOfRaisingASignal) {
  ConnectedPair pair;
  pair.client.Close();
  const std::string chunk(65536, 'x');
  bool failed = false;
  for (int attempt = 0; attempt < 100 && !failed; ++attempt) failed = !pair.server.Send(chunk);
  ASSERT_TRUE(failed);
  EXPECT_TRUE(GetLastError() == WSAECONNRESET || GetLastError() == WSAESHUTDOWN) << GetLastError();
}

}  // namespace
}  // namespace qv::platform
