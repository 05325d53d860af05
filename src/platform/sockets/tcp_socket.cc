// The parts of a socket object that every platform shares: moving the handle from one object to another.
#include "platform/sockets/tcp_socket.h"

#include <utility>

namespace qv::platform {

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

}  // namespace qv::platform
