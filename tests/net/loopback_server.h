// Shared pieces of the threaded TCP server's tests: connection threads whose body is a function, a
// journal of what the server's handlers saw, a server on a free port of 127.0.0.1 that keeps one, and
// clients' reads.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/server_client_thread.h"
#include "net/server_socket.h"
#include "net/socket_stream.h"
#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/threads/sync.h"

namespace qv::net::loopback {

using namespace platform;

constexpr uint32_t kPatience = 10000;  // ms; generous for sanitizers on a loaded machine

// A connection thread whose body is a function.
class FunctionThread : public TServerClientThread {
 public:
  using Body = std::function<void(FunctionThread&)>;
  FunctionThread(TServerClientWinSocket* socket, Body body)
      : TServerClientThread(socket), body_(std::move(body)) {}

  // For bodies that answer a whole request.
  bool BeginAnswer() { return TServerClientThread::BeginAnswer(); }

 protected:
  void ClientExecute() override { body_(*this); }

 private:
  Body body_;
};

// What the handlers saw, shared between the test's thread and the server's threads.
struct Journal {
  std::mutex mutex;
  std::vector<uint32_t> get_thread_callers;  // threads that called OnGetThread
  std::vector<uint32_t> ended_threads;       // ThreadID of each ended connection thread
  std::vector<bool> ended_on_own_thread;
  std::vector<bool> ended_without_socket;
  Semaphore ends{0, 1000};  // released once per thread end

  void RecordEnd(TServerClientThread& thread) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      ended_threads.push_back(thread.ThreadID());
      ended_on_own_thread.push_back(GetCurrentThreadId() == thread.ThreadID());
      ended_without_socket.push_back(thread.ClientSocket() == nullptr);
    }
    ends.Release();
  }
  size_t EndCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return ended_threads.size();
  }
};

// A server on a free port of 127.0.0.1 that records its thread ends in a journal.
template <class Server = TServerSocket>
struct BasicLoopbackServer {
  Server server;
  Journal journal;

  BasicLoopbackServer() {
    server.SetAddress("127.0.0.1");
    server.SetPort(0);
    server.OnThreadEnd = [this](TServerSocket& sender, TServerClientThread& thread) {
      EXPECT_EQ(&sender, &server);
      journal.RecordEnd(thread);
    };
  }
  // Serves every connection with a thread running body. The handler "starts" every other thread
  // itself (the first, the third ...), as a thread provider may; the server starts them all.
  void ServeWith(FunctionThread::Body body) {
    server.OnGetThread = [this, body](TServerSocket& sender, TServerClientWinSocket& socket) {
      EXPECT_EQ(&sender, &server);
      size_t number;
      {
        std::lock_guard<std::mutex> lock(journal.mutex);
        journal.get_thread_callers.push_back(GetCurrentThreadId());
        number = journal.get_thread_callers.size();
      }
      auto thread = std::make_unique<FunctionThread>(&socket, body);
      EXPECT_TRUE(thread->Suspended());
      if (number % 2 == 1) thread->Resume();
      return thread;
    };
  }
  TcpSocket Connect() {
    TcpSocket client;
    EXPECT_TRUE(client.Connect("127.0.0.1", server.LocalPort(), kPatience)) << GetLastError();
    return client;
  }
  bool WaitForEnds(size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (WaitForSingleObject(journal.ends, kPatience) != WaitResult::kSignaled) return false;
    }
    return true;
  }
};

using LoopbackServer = BasicLoopbackServer<>;

// Everything the peer sends until it closes the connection (or nothing comes for the patience).
inline std::string ReceiveUntilClosed(TcpSocket& client) {
  std::string data;
  size_t received = 0;
  while (client.Receive(kPatience, 256, &data, &received) && received > 0) {
  }
  return data;
}

// Reads one line (up to LF) from the stream, 10 bytes at a time at most.
inline std::string ReadLine(TWinSocketStream& stream) {
  std::string line;
  while (line.empty() || line.back() != '\n') {
    if (!stream.WaitForData(kPatience)) break;
    char piece[10];
    const int32_t count = stream.Read(piece, 10);
    if (count == 0) break;
    line.append(piece, count);
  }
  return line;
}

}  // namespace qv::net::loopback
