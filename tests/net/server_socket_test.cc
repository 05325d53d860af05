#include "net/server_socket.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "net/loopback_server.h"
#include "platform/errors/win_error.h"
#include "testing/platform_checks.h"

namespace qv::net {
namespace {

using namespace platform;
using namespace loopback;

TEST(ServerSocket, ServesEachConnectionOnAThreadOfItsOwnAndReportsItsEndThere) {
  LoopbackServer loopback;
  // Connection threads answer with what they know of their connection.
  auto answer = [](FunctionThread& thread) {
    TServerClientWinSocket& socket = *thread.ClientSocket();
    TWinSocketStream stream(socket, kPatience);
    const std::string line = ReadLine(stream);
    socket.SendText(line.substr(0, line.size() - 1) + " " + socket.RemoteAddress() + ":" +
                    std::to_string(socket.RemotePort()) + " " + std::to_string(thread.ThreadID()));
  };
  loopback.ServeWith(answer);
  TServerSocket& server = loopback.server;
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.ServerType(), stThreadBlocking);
  server.SetActive(true);
  ASSERT_TRUE(server.Active());
  ASSERT_NE(server.LocalPort(), 0);

  std::set<std::string> thread_ids;
  for (int connection = 0; connection < 2; ++connection) {  // started by the handler, then by the server
    TcpSocket client = loopback.Connect();
    ASSERT_TRUE(client.Send("hello\n"));
    // The platform closes the connection after the body: the answer ends with the stream.
    const std::string reply = ReceiveUntilClosed(client);
    const std::string expected_start = "hello 127.0.0.1:" + std::to_string(client.LocalPort()) + " ";
    ASSERT_EQ(reply.substr(0, expected_start.size()), expected_start) << reply;
    thread_ids.insert(reply.substr(expected_start.size()));
  }
  ASSERT_TRUE(loopback.WaitForEnds(2));
  server.SetActive(false);
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.LocalPort(), 0);

  Journal& journal = loopback.journal;
  std::lock_guard<std::mutex> lock(journal.mutex);
  ASSERT_EQ(journal.ended_threads.size(), 2u);
  EXPECT_EQ(thread_ids.size(), 2u);  // two threads, each ended once, on itself, after its socket went
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(thread_ids.count(std::to_string(journal.ended_threads[i])), 1u);
    EXPECT_TRUE(journal.ended_on_own_thread[i]);
    EXPECT_TRUE(journal.ended_without_socket[i]);
  }
  // OnGetThread runs on the accepting thread: neither the test's thread nor a connection thread.
  ASSERT_EQ(journal.get_thread_callers.size(), 2u);
  EXPECT_EQ(journal.get_thread_callers[0], journal.get_thread_callers[1]);
  EXPECT_NE(journal.get_thread_callers[0], GetCurrentThreadId());
  EXPECT_EQ(thread_ids.count(std::to_string(journal.get_thread_callers[0])), 0u);
}

TEST(ServerSocket, AConnectionThatNoThreadServesIsClosedAndNoEndIsReported) {
  LoopbackServer loopback;
  TServerSocket& server = loopback.server;
  std::atomic<int> asked{0};
  std::atomic<bool> dropped_body_ran{false};
  server.OnGetThread = [&](TServerSocket&,
                           TServerClientWinSocket& socket) -> std::unique_ptr<TServerClientThread> {
    if (++asked == 2) {
      // A thread that the handler "started" but did not hand over never runs its body.
      auto dropped =
          std::make_unique<FunctionThread>(&socket, [&](FunctionThread&) { dropped_body_ran = true; });
      dropped->Resume();
    }
    return nullptr;
  };
  server.SetActive(true);
  for (int i = 0; i < 2; ++i) {
    TcpSocket client = loopback.Connect();
    const uint32_t start = GetTickCount();
    EXPECT_EQ(ReceiveUntilClosed(client), "");
    EXPECT_LT(GetTickCount() - start, kPatience);  // closed, not timed out
  }
  server.SetActive(false);
  server.OnGetThread = nullptr;  // without a handler, too
  server.SetActive(true);
  TcpSocket client = loopback.Connect();
  EXPECT_EQ(ReceiveUntilClosed(client), "");

  server.SetActive(false);
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(dropped_body_ran);
  EXPECT_EQ(loopback.journal.EndCount(), 0u);
  EXPECT_EQ(server.ActiveThreads(), 0);
}

TEST(ServerSocket, ServesAsManyConnectionsAtOnceAsItsHandlerAccepts) {
  constexpr int kConnections = 6;
  LoopbackServer loopback;
  std::atomic<int> running{0};
  Event all_running(true, false);
  loopback.ServeWith([&](FunctionThread& thread) {
    if (++running == kConnections) all_running.Set();
    EXPECT_EQ(WaitForSingleObject(all_running, kPatience), WaitResult::kSignaled);
    thread.ClientSocket()->SendText("served");
  });
  loopback.server.SetActive(true);
  std::vector<TcpSocket> clients;
  for (int i = 0; i < kConnections; ++i) clients.push_back(loopback.Connect());
  ASSERT_EQ(WaitForSingleObject(all_running, kPatience), WaitResult::kSignaled);
  for (TcpSocket& client : clients) EXPECT_EQ(ReceiveUntilClosed(client), "served");
  EXPECT_TRUE(loopback.WaitForEnds(kConnections));
  loopback.server.SetActive(false);
  EXPECT_EQ(loopback.journal.EndCount(), static_cast<size_t>(kConnections));
}

TEST(ServerSocket, ABodyThatRaisesStillEndsItsConnectionAndReportsTheEnd) {
  LoopbackServer loopback;
  loopback.ServeWith([](FunctionThread&) { throw Exception("body failed"); });
  loopback.server.SetActive(true);
  TcpSocket client = loopback.Connect();
  EXPECT_EQ(ReceiveUntilClosed(client), "");
  EXPECT_TRUE(loopback.WaitForEnds(1));
  loopback.server.SetActive(false);
}

TEST(ServerSocket, DeactivationEndsThreadsBlockedInAWaitOrAReadAndWaitsForThem) {
  LoopbackServer loopback;
  Semaphore blocked(0, 2);
  std::atomic<int> connection_number{0};
  std::mutex mutex;
  std::vector<std::string> outcomes;
  loopback.ServeWith([&](FunctionThread& thread) {
    TWinSocketStream stream(*thread.ClientSocket(), 60000);
    const bool waits = ++connection_number == 1;
    blocked.Release();
    std::string outcome;
    if (waits) {
      outcome = stream.WaitForData(60000) ? "wait:data" : "wait:none";
    } else {
      char buffer[10];
      outcome = "read:" + std::to_string(stream.Read(buffer, 10));
    }
    outcome += thread.Terminated() ? " terminated" : " running";
    outcome += thread.ClientSocket()->Connected() ? " connected" : " closed";
    Sleep(200);  // still busy when the server closes: it must wait for the end
    std::lock_guard<std::mutex> lock(mutex);
    outcomes.push_back(outcome);
  });
  TServerSocket& server = loopback.server;
  server.SetActive(true);
  const uint16_t port = server.LocalPort();
  TcpSocket waiting = loopback.Connect();
  ASSERT_EQ(WaitForSingleObject(blocked, kPatience), WaitResult::kSignaled);
  TcpSocket reading = loopback.Connect();
  ASSERT_EQ(WaitForSingleObject(blocked, kPatience), WaitResult::kSignaled);
  EXPECT_EQ(server.ActiveThreads(), 2);
  Sleep(100);  // both are inside their wait and read by now

  const uint32_t start = GetTickCount();
  server.SetActive(false);
  EXPECT_LT(GetTickCount() - start, 30000u);  // far less than the 60 s time-outs
  EXPECT_EQ(loopback.journal.EndCount(), 2u);
  EXPECT_EQ(server.ActiveThreads(), 0);
  {
    std::lock_guard<std::mutex> lock(mutex);
    std::multiset<std::string> seen(outcomes.begin(), outcomes.end());
    EXPECT_EQ(seen, (std::multiset<std::string>{"wait:data terminated closed", "read:0 terminated closed"}));
  }
  EXPECT_EQ(ReceiveUntilClosed(waiting), "");
  EXPECT_EQ(ReceiveUntilClosed(reading), "");
  // The listening socket is closed as well.
  TcpSocket late;
  EXPECT_FALSE(late.Connect("127.0.0.1", port, kPatience));
  EXPECT_EQ(GetLastError(), WSAECONNREFUSED);
}

TEST(ServerSocket, APortInUseRaisesTheSocketErrorWithItsCode) {
  LoopbackServer first;
  first.ServeWith([](FunctionThread& thread) { thread.ClientSocket()->SendText("first"); });
  first.server.SetActive(true);
  first.server.SetActive(true);  // already active: nothing happens

  TServerSocket second;
  second.SetAddress("127.0.0.1");
  second.SetPort(first.server.LocalPort());
  try {
    second.SetActive(true);
    FAIL() << "no error raised";
  } catch (const ESocketError& error) {
    EXPECT_EQ(error.ErrorCode, static_cast<uint32_t>(WSAEADDRINUSE));
    if (SystemErrorsAreWindows()) {
      if (!qv::testing::SkipUnderWine("the system's text of error 10048 (Wine has none)")) {
        EXPECT_EQ(error.Message(),
                  "Windows socket error: Only one usage of each socket address (protocol/network "
                  "address/port) is normally permitted (10048), on API 'bind'");
      }
      EXPECT_TRUE(error.Message().ends_with("(10048), on API 'bind'")) << error.Message();
    } else {
      // The address and port that failed, in the system's words.
      EXPECT_EQ(error.Message(), "cannot listen on 127.0.0.1:" + std::to_string(first.server.LocalPort()) +
                                     ": Address already in use");
    }
  }
  EXPECT_FALSE(second.Active());
  EXPECT_EQ(second.LocalPort(), 0);

  second.SetPort(70000);
  try {
    second.SetActive(true);
    FAIL() << "no error raised";
  } catch (const ESocketError& error) {
    EXPECT_EQ(error.ErrorCode, static_cast<uint32_t>(WSAEINVAL));
    if (!SystemErrorsAreWindows()) {
      EXPECT_EQ(error.Message(), "cannot listen on 127.0.0.1:70000: Invalid argument");
    }
  }

  // The first server goes on serving, and serves again after a restart.
  for (int round = 0; round < 2; ++round) {
    TcpSocket client = first.Connect();
    EXPECT_EQ(ReceiveUntilClosed(client), "first");
    first.server.SetActive(false);
    first.server.SetActive(false);
    first.server.SetActive(true);
  }
}

TEST(ServerSocket, ListensOnEveryAddressItIsGivenOnOnePort) {
  LoopbackServer loopback;
  loopback.ServeWith([](FunctionThread& thread) {
    TServerClientWinSocket& socket = *thread.ClientSocket();
    socket.SendText(socket.RemoteAddress());
  });
  TServerSocket& server = loopback.server;
  // Two loopback addresses; 127.0.0.3 is left out.
  server.SetAddresses({"127.0.0.1", "127.0.0.2"});
  server.SetActive(true);
  const uint16_t port = server.LocalPort();
  ASSERT_NE(port, 0);
  EXPECT_EQ(server.ListeningAddresses(), (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
  for (const char* address : {"127.0.0.1", "127.0.0.2"}) {
    TcpSocket client;
    ASSERT_TRUE(client.Connect(address, port, kPatience)) << address;
    EXPECT_THAT(ReceiveUntilClosed(client), ::testing::StartsWith("127.0.0.")) << address;
  }
  TcpSocket refused;
  EXPECT_FALSE(refused.Connect("127.0.0.3", port, kPatience));
  ASSERT_TRUE(loopback.WaitForEnds(2));
  server.SetActive(false);
  EXPECT_TRUE(server.ListeningAddresses().empty());

  // One address that cannot be listened on leaves the server inactive, the others closed again.
  server.SetAddresses({"127.0.0.1", "no-address"});
  EXPECT_THROW(server.SetActive(true), ESocketError);
  EXPECT_FALSE(server.Active());
  EXPECT_TRUE(server.ListeningAddresses().empty());
}

TEST(ServerSocket, WithoutAddressesListensOnEveryIPv4AndIPv6Address) {
  TServerSocket server;
  server.SetPort(0);
  server.SetActive(true);
  const std::vector<std::string> addresses = server.ListeningAddresses();
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(addresses.front(), "0.0.0.0");
  TcpSocket v6;
  if (v6.Listen("::1", 0, 1)) {
    EXPECT_EQ(addresses, (std::vector<std::string>{"0.0.0.0", "::"}));
  }
  server.SetActive(false);
}

// A thread whose peer resets the connection before the thread sends; the handler keeps or clears the code.
TEST(ServerSocket, AFailedSendGoesToTheClientErrorHandlerWhichKeepsOrClearsTheCode) {
  for (const bool clear : {true, false}) {
    SCOPED_TRACE(clear ? "cleared" : "kept");
    LoopbackServer loopback;
    Event started(true, false);
    std::mutex mutex;
    std::vector<std::string> handler_calls;
    std::string outcome;
    loopback.server.OnClientError = [&](TServerSocket& sender, TCustomWinSocket& socket, TErrorEvent kind,
                                        int32_t& code) {
      std::lock_guard<std::mutex> lock(mutex);
      EXPECT_EQ(&sender, &loopback.server);
      handler_calls.push_back(std::to_string(static_cast<int32_t>(kind)) + " " + std::to_string(code) + " " +
                              socket.RemoteAddress());
      if (clear) code = 0;
    };
    loopback.ServeWith([&](FunctionThread& thread) {
      TWinSocketStream stream(*thread.ClientSocket(), kPatience);
      started.Set();
      EXPECT_TRUE(stream.WaitForData(kPatience));  // the reset has arrived
      std::string result;
      try {
        result = "sent " + std::to_string(thread.ClientSocket()->SendText("too late"));
      } catch (const ESocketError& error) {
        result = error.Message();
      }
      std::lock_guard<std::mutex> lock(mutex);
      outcome = result;
    });
    loopback.server.SetActive(true);
    TcpSocket client = loopback.Connect();
    ASSERT_EQ(WaitForSingleObject(started, kPatience), WaitResult::kSignaled);
    client.CloseWithReset();
    ASSERT_TRUE(loopback.WaitForEnds(1));
    loopback.server.SetActive(false);

    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(handler_calls.size(), 1u);
    const bool reset = handler_calls[0] == "1 10054 127.0.0.1";
    EXPECT_TRUE(reset || handler_calls[0] == "1 10058 127.0.0.1") << handler_calls[0];
    if (clear) {
      EXPECT_EQ(outcome, "sent 0");
    } else {
      EXPECT_EQ(outcome, SocketErrorMessage(reset ? WSAECONNRESET : WSAESHUTDOWN, "send"));
    }
  }
}

}  // namespace
}  // namespace qv::net
