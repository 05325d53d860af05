#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/clock/clock.h"
#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/sockets/tcp_socket.h"
#include "platform/threads/sync.h"

namespace qv::platform {

namespace {

bool FailWithErrno() {
  SetLastError(posix::WsaErrorFromErrno(errno));
  return false;
}

// An IPv4 or IPv6 address and port as the socket calls take them.
struct SocketAddress {
  sockaddr_storage storage = {};
  socklen_t length = 0;
  int Family() const { return storage.ss_family; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

bool ToSocketAddress(const std::string& address, uint16_t port, SocketAddress* result) {
  *result = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&result->storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&result->storage);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    result->length = sizeof(sockaddr_in);
  } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    result->length = sizeof(sockaddr_in6);
  } else {
    SetLastError(WSAEINVAL);
    return false;
  }
  return true;
}

// The address as text (dotted IPv4, or IPv6 as inet_ntop writes it) and the port.
void FromSocketAddress(const sockaddr_storage& address, std::string* text, uint16_t* port) {
  char buffer[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &v6.sin6_addr, buffer, sizeof buffer);
    if (port != nullptr) *port = ntohs(v6.sin6_port);
  } else {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, buffer, sizeof buffer);
    if (port != nullptr) *port = ntohs(v4.sin_port);
  }
  if (text != nullptr) *text = buffer;
}

// Waits until fd is ready for the events or the time-out (INFINITE waits without limit) runs out
// (WSAETIMEDOUT). Interruptions by signals wait again for the rest of the time.
bool WaitFor(int fd, short events, uint32_t timeout_ms) {
  const uint32_t start = GetTickCount();
  for (;;) {
    int poll_timeout = -1;
    if (timeout_ms != INFINITE) {
      const uint32_t elapsed = GetTickCount() - start;
      if (elapsed > timeout_ms) break;
      const uint32_t rest = timeout_ms - elapsed;
      poll_timeout = rest > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(rest);
    }
    pollfd entry = {fd, events, 0};
    const int ready = poll(&entry, 1, poll_timeout);
    if (ready > 0) return true;
    if (ready == 0) break;
    if (errno != EINTR) return FailWithErrno();
  }
  SetLastError(WSAETIMEDOUT);
  return false;
}

// One recv into the end of *data; the error number of a failure, 0 on success.
int ReceiveOnce(int fd, size_t max_bytes, std::string* data, size_t* received) {
  const size_t old_size = data->size();
  data->resize(old_size + max_bytes);
  ssize_t count;
  do {
    count = recv(fd, data->data() + old_size, max_bytes, MSG_DONTWAIT);
  } while (count < 0 && errno == EINTR);
  const int error_number = count < 0 ? errno : 0;
  data->resize(old_size + (count < 0 ? 0 : static_cast<size_t>(count)));
  *received = count < 0 ? 0 : static_cast<size_t>(count);
  return error_number;
}

// Takes what has arrived, waiting for it up to timeout_ms when nothing is there yet; failures are
// turned into Windows codes by map_error.
bool ReceiveWithin(std::intptr_t handle, uint32_t timeout_ms, size_t max_bytes, std::string* data,
                   size_t* received, uint32_t (*map_error)(int)) {
  *received = 0;
  if (handle < 0) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  const int fd = static_cast<int>(handle);
  int error_number = ReceiveOnce(fd, max_bytes, data, received);
  if (error_number == EAGAIN || error_number == EWOULDBLOCK) {
    if (!WaitFor(fd, POLLIN, timeout_ms)) return false;
    error_number = ReceiveOnce(fd, max_bytes, data, received);
  }
  if (error_number != 0) {
    SetLastError(map_error(error_number));
    return false;
  }
  return true;
}

}  // namespace

void TcpSocket::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(std::exchange(handle_, -1)));
}

bool TcpSocket::Listen(const std::string& address, uint16_t port, int backlog, std::string* failed_call) {
  Close();
  const auto fail = [failed_call](const char* call) {
    if (failed_call != nullptr) *failed_call = call;
    return FailWithErrno();
  };
  SocketAddress local;
  if (!ToSocketAddress(address, port, &local)) {
    if (failed_call != nullptr) *failed_call = "bind";
    return false;
  }
  const int fd = socket(local.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail("socket");
  TcpSocket owner(fd);
  const int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return fail("setsockopt");
  // An IPv6 socket takes IPv6 alone: IPv4 is an address of its own, as on Windows.
  if (local.Family() == AF_INET6 && setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0)
    return fail("setsockopt");
  if (bind(fd, local.Get(), local.length) != 0) return fail("bind");
  if (listen(fd, backlog) != 0) return fail("listen");
  *this = std::move(owner);
  return true;
}

uint16_t TcpSocket::LocalPort() const {
  sockaddr_storage local = {};
  socklen_t length = sizeof local;
  if (handle_ < 0 ||
      getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    return 0;
  }
  uint16_t port = 0;
  FromSocketAddress(local, nullptr, &port);
  return port;
}

bool TcpSocket::Accept(uint32_t timeout_ms, TcpSocket* client, std::string* remote_address,
                       uint16_t* remote_port) {
  if (handle_ < 0) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  // Without a time-out the accept itself waits (a blocking socket; Shutdown wakes it).
  if (timeout_ms != INFINITE && !WaitFor(static_cast<int>(handle_), POLLIN, timeout_ms)) return false;
  sockaddr_storage peer = {};
  socklen_t length = sizeof peer;
  const int fd =
      accept4(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  if (fd < 0) return FailWithErrno();
  *client = TcpSocket(fd);
  FromSocketAddress(peer, remote_address, remote_port);
  return true;
}

bool TcpSocket::Connect(const std::string& address, uint16_t port, uint32_t timeout_ms) {
  Close();
  SocketAddress remote;
  if (!ToSocketAddress(address, port, &remote)) return false;
  const int fd = socket(remote.Family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return FailWithErrno();
  TcpSocket owner(fd);
  if (connect(fd, remote.Get(), remote.length) != 0) {
    if (errno != EINPROGRESS) return FailWithErrno();
    if (!WaitFor(fd, POLLOUT, timeout_ms)) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return FailWithErrno();
    if (error != 0) {
      SetLastError(posix::WsaErrorFromErrno(error));
      return false;
    }
  }
  // Blocking from here on, as a socket from accept is: the time-outs come from WaitFor.
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return FailWithErrno();
  *this = std::move(owner);
  return true;
}

bool TcpSocket::Receive(uint32_t timeout_ms, size_t max_bytes, std::string* data, size_t* received) {
  return ReceiveWithin(handle_, timeout_ms, max_bytes, data, received, posix::WsaErrorFromErrno);
}

bool TcpSocket::Read(uint32_t timeout_ms, size_t max_bytes, std::string* data, size_t* received) {
  return ReceiveWithin(handle_, timeout_ms, max_bytes, data, received, posix::SocketReadErrorFromErrno);
}

bool TcpSocket::WaitForData(uint32_t timeout_ms) {
  if (handle_ < 0) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  // An error or hang-up is reported by poll whatever was asked for; it makes the socket readable.
  return WaitFor(static_cast<int>(handle_), POLLIN | POLLRDHUP, timeout_ms);
}

bool TcpSocket::Send(std::string_view data) {
  if (handle_ < 0) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  while (!data.empty()) {
    const ssize_t count = send(static_cast<int>(handle_), data.data(), data.size(), MSG_NOSIGNAL);
    if (count < 0) {
      if (errno == EINTR) continue;
      return FailWithErrno();
    }
    data.remove_prefix(static_cast<size_t>(count));
  }
  return true;
}

bool TcpSocket::SendOnce(std::string_view data, size_t* sent) {
  *sent = 0;
  if (handle_ < 0) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  ssize_t count;
  do {
    count = send(static_cast<int>(handle_), data.data(), data.size(), MSG_NOSIGNAL);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return FailWithErrno();
  *sent = static_cast<size_t>(count);
  return true;
}

bool TcpSocket::ShutdownSend() {
  if (handle_ < 0) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  return shutdown(static_cast<int>(handle_), SHUT_WR) == 0 || FailWithErrno();
}

void TcpSocket::Shutdown() {
  // On a listening socket this ends listening and wakes a waiting accept; on a connection it wakes
  // a waiting poll or recv (end of stream) and a blocked send (EPIPE).
  if (handle_ >= 0) shutdown(static_cast<int>(handle_), SHUT_RDWR);
}

void TcpSocket::CloseWithReset() {
  if (handle_ < 0) return;
  const linger abort = {1, 0};
  setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  Close();
}

}  // namespace qv::platform
