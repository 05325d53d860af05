// TCP over IPv4 and IPv6, shaped after Windows Sockets: a socket handle that closes itself, listening
// on an address and port, accepting, connecting and receiving with time-outs, sending all of a text.
// Failures return false and set the thread's last error to a Winsock code (WSAETIMEDOUT when a
// time-out ran out).
//
// One object is used by one thread at a time, except that Shutdown may be called from another thread
// while a call waits on the socket: it wakes that call. Close must wait until no other thread uses the
// socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/threads/sync.h"

namespace qv::platform {

// The listen backlog SOMAXCONN: as many pending connections as the system allows.
constexpr int kMaxListenBacklog = 0x7FFFFFFF;

class TcpSocket {
 public:
  TcpSocket() = default;
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  ~TcpSocket() { Close(); }

  bool IsValid() const { return handle_ >= 0; }
  // closesocket; closing a closed socket does nothing.
  void Close();

  // Binds to an address (dotted IPv4, or IPv6 such as "::" or "::1") and port (0 lets the system
  // pick a free one) and listens; an IPv6 socket takes IPv6 connections alone. An address that is
  // neither fails with WSAEINVAL. The socket is not handed on to programs that this process starts. On
  // failure *failed_call, when given, names the Winsock call that failed ("socket", "setsockopt", "bind" or
  // "listen").
  bool Listen(const std::string& address, uint16_t port, int backlog, std::string* failed_call = nullptr);
  // The local port of a bound socket; 0 when it has none.
  uint16_t LocalPort() const;
  // Waits up to timeout_ms (or INFINITE) for a connection on a listening socket; the connected socket
  // goes to *client, the peer's address (dotted IPv4, or IPv6) and port to *remote_address and
  // *remote_port when given. A listening socket that was shut down fails (WSAEINVAL).
  bool Accept(uint32_t timeout_ms, TcpSocket* client, std::string* remote_address = nullptr,
              uint16_t* remote_port = nullptr);

  // Connects to an IPv4 or IPv6 address and port, waiting up to timeout_ms.
  bool Connect(const std::string& address, uint16_t port, uint32_t timeout_ms);
  // Waits up to timeout_ms until data arrives and appends what has arrived, at most max_bytes, to
  // *data; *received is the number of bytes appended, 0 when the peer has closed its side (or this
  // side was shut down). Data that is already there is taken with one system call.
  bool Receive(uint32_t timeout_ms, size_t max_bytes, std::string* data, size_t* received);
  // Receive, with failures reported the way ReadFile on a socket handle reports them: a connection
  // that was reset, aborted or timed out gives ERROR_NETNAME_DELETED, a socket no longer connected
  // ERROR_PIPE_NOT_CONNECTED; a time-out that ran out is still WSAETIMEDOUT.
  bool Read(uint32_t timeout_ms, size_t max_bytes, std::string* data, size_t* received);
  // Waits up to timeout_ms (or INFINITE) until a read would not block: data has arrived, the peer has
  // closed or reset the connection, or this side was shut down.
  bool WaitForData(uint32_t timeout_ms);
  // Sends all of data; a peer that has gone gives an error, never a signal.
  bool Send(std::string_view data);
  // One send call: *sent is the number of bytes the system took (it may take fewer than all).
  bool SendOnce(std::string_view data, size_t* sent);
  // Ends this side's sending (shutdown with SD_SEND): the peer reads the end of the stream.
  bool ShutdownSend();
  // Ends the connection in both directions, or stops a listening socket, without releasing the
  // handle: a call waiting on the socket in another thread returns at once (a wait or receive finds
  // the end of the stream, a send fails, an accept fails). Close releases the handle afterwards.
  void Shutdown();
  // Closes with a reset instead of an orderly end (SO_LINGER with time 0): the peer's next call
  // fails with WSAECONNRESET.
  void CloseWithReset();

 private:
  explicit TcpSocket(std::intptr_t handle) : handle_(handle) {}

  std::intptr_t handle_ = -1;  // the platform's socket handle: a file descriptor here
};

}  // namespace qv::platform
