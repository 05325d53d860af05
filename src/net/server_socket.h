// The threaded TCP server component (TServerSocket in thread-blocking mode): it listens on a port,
// accepts connections on a thread of its own, and has each connection served by a thread
// (TServerClientThread) that its OnGetThread handler provides. It reports the end of every connection
// thread and the failures of its client sockets through its handlers.
//
// Handlers are called with the server first; an unset handler ignores its event. Set them while the
// server is inactive: they are read from the accepting thread and the connection threads. An
// exception that escapes a connection thread or a handler is written on standard error
// (platform/errors/unhandled_exception.h), and the connection's end is still reported, so an owner's count
// of running threads stays right.
//
// Not offered: a thread cache of the server's own (the platform threads run on pooled system
// threads instead), OnThreadStart, and the non-blocking server types.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/connected_socket.h"
#include "net/socket_error.h"
#include "platform/sockets/tcp_socket.h"

namespace qv::net {

class TServerSocket;
class TServerClientThread;

// How accepted connections are served. This platform serves every connection by a thread of its own,
// in blocking mode.
enum TServerType { stThreadBlocking };

// A connection that the server accepted (TServerClientWinSocket). Its failures go to the server's
// OnClientError handler.
class TServerClientWinSocket final : public TCustomWinSocket {
 public:
  TServerClientWinSocket(TServerSocket& server, platform::TcpSocket connected, std::string remote_address,
                         uint16_t remote_port);
  TServerSocket& ServerWinSocket() const { return server_; }
  // The millisecond tick at which the connection was accepted.
  uint32_t AcceptedTick() const { return accepted_tick_; }

 protected:
  void Error(TErrorEvent error_event, int32_t& error_code) override;

 private:
  TServerSocket& server_;
  const uint32_t accepted_tick_;
};

class TServerSocket {
 public:
  // Called in the accepting thread for every accepted connection: the thread that is to serve it,
  // created for that client socket (the server starts it), or none. A connection that no thread
  // serves is closed at once, and no thread end is reported for it.
  using TGetThreadEvent = std::function<std::unique_ptr<TServerClientThread>(
      TServerSocket& sender, TServerClientWinSocket& client_socket)>;
  // Called in each connection thread as its last act, after its client socket has been closed.
  using TThreadEndEvent = std::function<void(TServerSocket& sender, TServerClientThread& thread)>;
  // Called in the thread whose operation on a client socket failed, with the system error code in
  // error_code. Left non-zero, the operation raises ESocketError; set to 0, it returns quietly.
  using TSocketErrorEvent = std::function<void(TServerSocket& sender, TCustomWinSocket& socket,
                                               TErrorEvent error_event, int32_t& error_code)>;
  // Called in the accepting thread when the thread that OnGetThread provided cannot be started (the
  // system is out of threads or memory), with the error's message: the connection has been closed,
  // no thread end will be reported for it, and the thread object goes when the handler returns.
  using TThreadStartErrorEvent =
      std::function<void(TServerSocket& sender, TServerClientThread& thread, const std::string& message)>;

  TServerSocket();
  TServerSocket(const TServerSocket&) = delete;
  TServerSocket& operator=(const TServerSocket&) = delete;
  // Deactivates the server. A derived class whose handlers use its own members deactivates it in its
  // own destructor, before those members go.
  virtual ~TServerSocket();

  // The port to listen on, 0 to 65535 (0 lets the system pick one, see LocalPort). Read when the
  // server is activated.
  int32_t Port() const { return port_; }
  void SetPort(int32_t port) { port_ = port; }
  // The local addresses to listen on (dotted IPv4, or IPv6), on the one port; none (the default)
  // means every IPv4 and IPv6 address: "0.0.0.0", and "::" where the system has IPv6. Read when the
  // server is activated. SetAddress sets one address (empty: the default).
  const std::vector<std::string>& Addresses() const { return addresses_; }
  void SetAddresses(std::vector<std::string> addresses) { addresses_ = std::move(addresses); }
  void SetAddress(const std::string& address) {
    addresses_ = address.empty() ? std::vector<std::string>() : std::vector<std::string>{address};
  }
  TServerType ServerType() const { return server_type_; }
  void SetServerType(TServerType server_type) { server_type_ = server_type; }
  // Milliseconds a deactivation waits for the answers of connection threads that hold a whole request
  // (see SetActive); 0, the default, ends them at once.
  uint32_t StopTimeOut() const { return stop_timeout_ms_; }
  void SetStopTimeOut(uint32_t milliseconds) { stop_timeout_ms_ = milliseconds; }

  bool Active() const { return active_; }
  // true: opens a listening TCP socket on Port for each address and starts an accepting thread for
  // each (with Port 0 the first address's port serves the others); a socket that cannot be opened
  // raises ESocketError (RaiseListenError: "cannot listen on 0.0.0.0:8080: Address already in use"
  // for a port in use, on Windows "Windows socket error: <text> (10048), on API 'bind'"), closes the
  // others and leaves the server inactive.
  // false: stops accepting; terminates every running connection thread that does not yet hold a whole
  // request and closes its client socket (which wakes a wait or read on it); lets the threads that
  // are answering a request finish for up to StopTimeOut, then ends them alike; waits until each has
  // ended, then closes the listening socket. Must not be called from the server's own threads (it
  // would wait for itself).
  // Setting the value the server already has does nothing.
  void SetActive(bool value);

  // The port the server listens on while active; 0 while inactive. The addresses it listens on.
  uint16_t LocalPort() const { return local_port_; }
  std::vector<std::string> ListeningAddresses() const;
  // Connection threads that serve a connection and have not yet ended.
  int32_t ActiveThreads() const;

  TGetThreadEvent OnGetThread;
  TThreadEndEvent OnThreadEnd;
  TSocketErrorEvent OnClientError;
  TThreadStartErrorEvent OnThreadStartError;

 protected:
  // Starts a connection thread the server has taken over; raises when the system cannot start one.
  // Virtual so that tests can make it fail as an exhausted system does.
  virtual void StartConnectionThread(TServerClientThread& thread);

 private:
  friend class TServerClientThread;
  friend class TServerClientWinSocket;
  class AcceptThread;

  struct Connection {
    TServerClientThread* thread;                     // freed by its own thread after its entry has gone
    std::unique_ptr<TServerClientWinSocket> socket;  // null once the thread's body has returned
    bool answering = false;                          // holds a whole request and answers it
  };

  void Activate();
  void Deactivate();
  // One listening socket and the thread that accepts its connections.
  struct Listener {
    std::string address;
    platform::TcpSocket socket;
    std::unique_ptr<AcceptThread> thread;
  };
  void Listen(const std::string& address, bool only_where_available);
  // An accepting thread's body, and what it does with one accepted connection.
  void AcceptConnections(const AcceptThread& thread, platform::TcpSocket& listener);
  void ServeConnection(platform::TcpSocket client, std::string remote_address, uint16_t remote_port);
  // A thread that could not be started: its entry goes, its connection is closed, the handler told.
  void DropUnstartedThread(TServerClientThread& thread, const std::string& message);
  // A connection thread's request is whole: false when a deactivation has ended the thread already.
  bool BeginAnswer(TServerClientThread& thread);
  // Under the connection lock: terminates the entry's thread and closes its client socket.
  static void EndThreadOf(Connection& connection);
  // A connection thread waits here before its body until the server has taken it over; false when it
  // was freed without being taken over.
  bool WaitUntilServing(TServerClientThread& thread);
  void Dismiss(TServerClientThread& thread);
  // A connection thread's end: closes and frees the client socket, reports the end, drops the entry.
  void EndConnection(TServerClientThread& thread);
  void ClientError(TCustomWinSocket& socket, TErrorEvent error_event, int32_t& error_code);

  int32_t port_ = 0;
  std::vector<std::string> addresses_;
  TServerType server_type_ = stThreadBlocking;
  uint32_t stop_timeout_ms_ = 0;

  std::mutex activation_mutex_;  // one SetActive at a time
  std::atomic<bool> active_{false};
  std::atomic<uint16_t> local_port_{0};
  std::vector<std::unique_ptr<Listener>> listeners_;  // changed by SetActive alone

  mutable std::mutex connections_mutex_;  // guards connections_ and the threads' serving states
  std::condition_variable connections_changed_;
  std::list<Connection> connections_;
};

}  // namespace qv::net
