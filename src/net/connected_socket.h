// A connected TCP socket as the socket components hand it to their users (TCustomWinSocket): whether
// it is connected, its peer, closing it and sending on it. Blocking reads go through a
// TWinSocketStream over it.
//
// Any thread may close the socket while another waits, reads or sends on it: the other call returns
// at once (a wait or read finds the end of the connection, a send returns quietly), and the system
// handle is released when the last call that uses it has returned.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "net/socket_error.h"
#include "platform/sockets/tcp_socket.h"

namespace qv::net {

class TCustomWinSocket {
 public:
  // Takes over a connected socket whose peer has the given dotted IPv4 address and port.
  TCustomWinSocket(platform::TcpSocket connected, std::string remote_address, uint16_t remote_port);
  TCustomWinSocket(const TCustomWinSocket&) = delete;
  TCustomWinSocket& operator=(const TCustomWinSocket&) = delete;
  virtual ~TCustomWinSocket();

  // True until this side closes the socket (a peer that has closed its side leaves it connected).
  bool Connected() const;
  // The peer's dotted IPv4 address; empty once not connected.
  std::string RemoteAddress() const;
  // The peer's port; 0 once not connected.
  int32_t RemotePort() const;
  // The peer's dotted IPv4 address as the connection was accepted, also after this side has closed
  // the socket: for the records of a request that a stop or pause cut off while it was being handled.
  const std::string& PeerAddress() const { return remote_address_; }

  // Ends the connection (the peer reads the end of the stream) and releases the handle once no call
  // uses it any more. Closing a closed socket does nothing.
  void Close();

  // Hands the text to one send call; the number of bytes the system took (a short send is not
  // retried). A failure goes to Error with eeSend: when the code stays non-zero ESocketError is
  // raised ("... on API 'send'"), when the handler sets it to 0 the send returns 0. On a socket that
  // this side has closed, before or during the send, nothing is sent and 0 is returned.
  int32_t SendText(const std::string& text);

 protected:
  // A failed operation; error_code is in/out. Without a handler the code stays as it is.
  virtual void Error(TErrorEvent error_event, int32_t& error_code);

 private:
  friend class TWinSocketStream;
  class Use;

  // For the stream: Read and WaitForData of TcpSocket, on a socket that this side may close meanwhile.
  // A socket closed by this side reads as the end of the connection (true, nothing received).
  bool ReadForStream(uint32_t timeout_ms, size_t max_bytes, std::string* data, size_t* received);
  bool WaitForStream(uint32_t timeout_ms);

  mutable std::mutex mutex_;    // guards connected_ and users_, and the release of the handle
  platform::TcpSocket socket_;  // valid while connected_ or while a call still uses it
  bool connected_ = true;
  int users_ = 0;  // calls inside socket_ right now
  const std::string remote_address_;
  const uint16_t remote_port_;
};

}  // namespace qv::net
