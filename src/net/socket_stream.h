// Blocking reads from a connected socket with a time-out (TWinSocketStream). The stream takes what the
// socket has into a buffer of its own with one system call and hands it out in pieces as small as
// the caller asks, so reading a request a few bytes at a time costs no system call per piece.
#pragma once

#include <cstdint>
#include <string>

#include "net/connected_socket.h"

namespace qv::net {

class TWinSocketStream {
 public:
  // Reads from the socket, each read waiting up to timeout_ms (the read time-out) for data. The
  // socket must outlive the stream.
  TWinSocketStream(TCustomWinSocket& socket, uint32_t timeout_ms);
  TWinSocketStream(const TWinSocketStream&) = delete;
  TWinSocketStream& operator=(const TWinSocketStream&) = delete;

  // Waits up to timeout_ms (or INFINITE) for data. True when a read will not wait: data has arrived
  // (or is still in the stream's buffer), the peer has closed or dropped the connection, or this side
  // has closed the socket. False when the time passes without data or the wait fails.
  bool WaitForData(uint32_t timeout_ms);

  // Copies up to count bytes into buffer: the number copied, from the stream's buffer when it holds
  // any, else from one read of the socket that waits up to the read time-out. 0 when the time-out
  // passes without data, the peer has closed the connection or this side has closed the socket.
  // A failed read raises ESocketError with the system code (a dropped connection gives
  // ERROR_NETNAME_DELETED, 64; a connection that is gone ERROR_PIPE_NOT_CONNECTED, 233).
  int32_t Read(void* buffer, int32_t count);

  uint32_t TimeOut() const { return timeout_ms_; }
  // How often the stream went to the socket: reads and waits made there (buffered data needs none).
  uint32_t SocketReads() const { return socket_reads_; }
  uint32_t SocketWaits() const { return socket_waits_; }

  // The most a single read of the socket takes.
  static constexpr size_t kBufferSize = 8192;

 private:
  TCustomWinSocket& socket_;
  const uint32_t timeout_ms_;
  std::string buffer_;   // the latest read of the socket
  size_t position_ = 0;  // bytes of buffer_ already handed out
  uint32_t socket_reads_ = 0;
  uint32_t socket_waits_ = 0;
};

}  // namespace qv::net
