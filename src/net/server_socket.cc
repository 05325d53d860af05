#include "net/server_socket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "net/server_client_thread.h"
#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/unhandled_exception.h"
#include "platform/errors/win_error.h"
#include "platform/threads/thread.h"

namespace qv::net {

using namespace platform;

namespace {

// A failing accept that is not the end of accepting (out of descriptors, say) is tried again after
// this pause, so that a lasting failure does not keep the accepting thread spinning.
constexpr uint32_t kAcceptRetryPauseMs = 50;

}  // namespace

class TServerSocket::AcceptThread : public Thread {
 public:
  AcceptThread(TServerSocket& server, TcpSocket& listener) : server_(server), listener_(listener) {}
  ~AcceptThread() override {
    if (!Suspended()) WaitFor();
  }

 protected:
  void Execute() override { server_.AcceptConnections(*this, listener_); }

 private:
  TServerSocket& server_;
  TcpSocket& listener_;
};

TServerClientWinSocket::TServerClientWinSocket(TServerSocket& server, TcpSocket connected,
                                               std::string remote_address, uint16_t remote_port)
    : TCustomWinSocket(std::move(connected), std::move(remote_address), remote_port),
      server_(server),
      accepted_tick_(GetTickCount()) {}

void TServerClientWinSocket::Error(TErrorEvent error_event, int32_t& error_code) {
  server_.ClientError(*this, error_event, error_code);
}

TServerSocket::TServerSocket() = default;

TServerSocket::~TServerSocket() {
  try {
    SetActive(false);
  } catch (...) {
    ShowUnhandledException(std::current_exception());
  }
}

void TServerSocket::SetActive(bool value) {
  std::lock_guard<std::mutex> lock(activation_mutex_);
  if (value == active_) return;
  if (value)
    Activate();
  else
    Deactivate();
}

int32_t TServerSocket::ActiveThreads() const {
  std::lock_guard<std::mutex> lock(connections_mutex_);
  return static_cast<int32_t>(connections_.size());
}

std::vector<std::string> TServerSocket::ListeningAddresses() const {
  std::vector<std::string> addresses;
  for (const auto& listener : listeners_) addresses.push_back(listener->address);
  return addresses;
}

void TServerSocket::Listen(const std::string& address, bool only_where_available) {
  auto listener = std::make_unique<Listener>();
  listener->address = address;
  // With port 0 the system picks the first socket's port; the others take the same.
  const int32_t port = local_port_ != 0 ? local_port_.load() : port_;
  if (port < 0 || port > 0xFFFF) RaiseListenError(WSAEINVAL, "bind", address, port);
  std::string failed_call;
  if (!listener->socket.Listen(address, static_cast<uint16_t>(port), kMaxListenBacklog, &failed_call)) {
    const uint32_t code = GetLastError();
    // A system without IPv6 has no "::" to listen on.
    if (only_where_available && (code == WSAEAFNOSUPPORT || code == WSAEADDRNOTAVAIL)) return;
    RaiseListenError(code, failed_call, address, port);
  }
  local_port_ = listener->socket.LocalPort();
  listeners_.push_back(std::move(listener));
}

void TServerSocket::Activate() {
  try {
    if (addresses_.empty()) {
      Listen("0.0.0.0", false);
      Listen("::", true);
    } else {
      for (const std::string& address : addresses_) Listen(address, false);
    }
  } catch (...) {
    listeners_.clear();
    local_port_ = 0;
    throw;
  }
  for (const auto& listener : listeners_) {
    listener->thread = std::make_unique<AcceptThread>(*this, listener->socket);
    listener->thread->Resume();
  }
  active_ = true;
}

void TServerSocket::Deactivate() {
  const uint32_t caller = GetCurrentThreadId();
  for (const auto& listener : listeners_) {
    Assert(caller != listener->thread->ThreadID(),
           "A server cannot be deactivated from its accepting thread");
    listener->thread->Terminate();
    listener->socket.Shutdown();  // wakes the accepting thread
  }
  for (const auto& listener : listeners_) {
    listener->thread->WaitFor();
    listener->thread.reset();
  }
  {
    std::unique_lock<std::mutex> lock(connections_mutex_);
    for (Connection& connection : connections_) {
      Assert(connection.thread->ThreadID() != caller,
             "A server cannot be deactivated from one of its connection threads");
      if (!connection.answering) EndThreadOf(connection);
    }
    // A request that arrived whole gets its answer, as far as the time allows.
    const auto answering = [this] {
      return std::any_of(connections_.begin(), connections_.end(),
                         [](const Connection& connection) { return connection.answering; });
    };
    connections_changed_.wait_for(lock, std::chrono::milliseconds(stop_timeout_ms_),
                                  [&answering] { return !answering(); });
    for (Connection& connection : connections_) EndThreadOf(connection);
    connections_changed_.wait(lock, [this] { return connections_.empty(); });
  }
  listeners_.clear();
  local_port_ = 0;
  active_ = false;
}

void TServerSocket::AcceptConnections(const AcceptThread& thread, TcpSocket& listener) {
  while (!thread.Terminated()) {
    TcpSocket client;
    std::string remote_address;
    uint16_t remote_port = 0;
    if (listener.Accept(INFINITE, &client, &remote_address, &remote_port)) {
      try {
        ServeConnection(std::move(client), std::move(remote_address), remote_port);
      } catch (...) {
        // Out of memory, say: this connection is lost (its socket closed on the way out), the
        // accepting goes on.
        ShowUnhandledException(std::current_exception());
      }
      continue;
    }
    if (thread.Terminated()) break;
    const uint32_t code = GetLastError();
    if (code != WSAECONNABORTED && code != WSAEINTR) Sleep(kAcceptRetryPauseMs);
  }
}

void TServerSocket::ServeConnection(TcpSocket client, std::string remote_address, uint16_t remote_port) {
  auto socket = std::make_unique<TServerClientWinSocket>(*this, std::move(client), std::move(remote_address),
                                                         remote_port);
  std::unique_ptr<TServerClientThread> thread;
  if (OnGetThread) {
    try {
      thread = OnGetThread(*this, *socket);
    } catch (...) {
      ShowUnhandledException(std::current_exception());
      thread.reset();
    }
  }
  if (!thread || thread->client_socket_ != socket.get()) {
    thread.reset();  // one made for another socket is let go
    socket->Close();
    return;
  }
  TServerClientThread* const serving = thread.get();
  {
    // Taken over before it starts, so that the new thread finds itself serving and never waits.
    std::lock_guard<std::mutex> lock(connections_mutex_);
    connections_.push_back(Connection{serving, std::move(socket)});
    serving->serving_ = TServerClientThread::Serving::kServing;
  }
  // The thread frees itself after its end, so the object must not be touched once it has started.
  serving->SetFreeWhenEnded(true);
  Thread::HandOver(std::move(thread));
  try {
    StartConnectionThread(*serving);
  } catch (...) {
    DropUnstartedThread(*serving, ExceptionMessage(std::current_exception()));
  }
}

void TServerSocket::StartConnectionThread(TServerClientThread& thread) {
  thread.Thread::Resume();
}

void TServerSocket::DropUnstartedThread(TServerClientThread& thread, const std::string& message) {
  std::unique_ptr<TServerClientWinSocket> socket;
  {
    std::lock_guard<std::mutex> lock(connections_mutex_);
    const auto entry =
        std::find_if(connections_.begin(), connections_.end(),
                     [&thread](const Connection& connection) { return connection.thread == &thread; });
    socket = std::move(entry->socket);
    connections_.erase(entry);
    connections_changed_.notify_all();
  }
  thread.client_socket_ = nullptr;
  socket->Close();
  if (OnThreadStartError) {
    try {
      OnThreadStartError(*this, thread, message);
    } catch (...) {
      ShowUnhandledException(std::current_exception());
    }
  }
  // Never started, the thread object was handed over to a body that will never run: it goes here.
  thread.ReleaseHandedOver();
}

bool TServerSocket::BeginAnswer(TServerClientThread& thread) {
  std::lock_guard<std::mutex> lock(connections_mutex_);
  if (thread.Terminated()) return false;
  for (Connection& connection : connections_) {
    if (connection.thread != &thread) continue;
    connection.answering = true;
    return true;
  }
  return false;
}

void TServerSocket::EndThreadOf(Connection& connection) {
  connection.thread->Terminate();
  if (connection.socket) connection.socket->Close();
}

bool TServerSocket::WaitUntilServing(TServerClientThread& thread) {
  std::unique_lock<std::mutex> lock(connections_mutex_);
  connections_changed_.wait(lock,
                            [&thread] { return thread.serving_ != TServerClientThread::Serving::kWaiting; });
  return thread.serving_ == TServerClientThread::Serving::kServing;
}

void TServerSocket::Dismiss(TServerClientThread& thread) {
  std::lock_guard<std::mutex> lock(connections_mutex_);
  if (thread.serving_ != TServerClientThread::Serving::kWaiting) return;
  thread.serving_ = TServerClientThread::Serving::kDismissed;
  connections_changed_.notify_all();
}

void TServerSocket::EndConnection(TServerClientThread& thread) {
  std::unique_ptr<TServerClientWinSocket> socket;
  std::list<Connection>::iterator entry;
  {
    std::lock_guard<std::mutex> lock(connections_mutex_);
    for (entry = connections_.begin(); entry->thread != &thread; ++entry) {
    }
    socket = std::move(entry->socket);
  }
  thread.client_socket_ = nullptr;
  socket->Close();
  socket.reset();
  thread.Terminate();
  if (OnThreadEnd) {
    try {
      OnThreadEnd(*this, thread);
    } catch (...) {
      ShowUnhandledException(std::current_exception());
    }
  }
  // The last touch of the server: once the entry is gone, a deactivation may finish and free it.
  std::lock_guard<std::mutex> lock(connections_mutex_);
  connections_.erase(entry);
  connections_changed_.notify_all();
}

void TServerSocket::ClientError(TCustomWinSocket& socket, TErrorEvent error_event, int32_t& error_code) {
  if (OnClientError) OnClientError(*this, socket, error_event, error_code);
}

}  // namespace qv::net
