// TCP over IPv4, shaped after Windows Sockets: a socket handle that closes itself, listening on an
// address and port, accepting, connecting and receiving with time-outs, sending all of a text.
// Failures return false and set the thread's last error to a Winsock code (WSAETIMEDOUT when a
// time-out ran out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv::platform {

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

  // Binds to a dotted IPv4 address and port (0 lets the system pick a free one) and listens. The
  // socket is not handed on to programs that this process starts.
  bool Listen(const std::string& address, uint16_t port, int backlog);
  // The local port of a bound socket; 0 when it has none.
  uint16_t LocalPort() const;
  // Waits up to timeout_ms for a connection on a listening socket; the connected socket goes to
  // *client and the peer's dotted address to *remote_address when given.
  bool Accept(uint32_t timeout_ms, TcpSocket* client, std::string* remote_address = nullptr);

  // Connects to a dotted IPv4 address and port, waiting up to timeout_ms.
  bool Connect(const std::string& address, uint16_t port, uint32_t timeout_ms);
  // Waits up to timeout_ms until data arrives and appends what has arrived, at most max_bytes, to
  // *data; *received is the number of bytes appended, 0 when the peer has closed its side.
  bool Receive(uint32_t timeout_ms, size_t max_bytes, std::string* data, size_t* received);
  // Sends all of data; a peer that has gone gives an error, never a signal.
  bool Send(std::string_view data);
  // Ends this side's sending (shutdown with SD_SEND): the peer reads the end of the stream.
  bool ShutdownSend();

 private:
  explicit TcpSocket(std::intptr_t handle) : handle_(handle) {}

  std::intptr_t handle_ = -1;  // the platform's socket handle: a file descriptor here
};

}  // namespace qv::platform
