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

bool ToSocketAddress(const std::string& address, uint16_t port, sockaddr_in* result) {
  *result = {};
  result->sin_family = AF_INET;
  result->sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &result->sin_addr) != 1) {
    SetLastError(WSAEINVAL);
    return false;
  }
  return true;
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
  sockaddr_in local;
  if (!ToSocketAddress(address, port, &local)) {
    if (failed_call != nullptr) *failed_call = "bind";
    return false;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail("socket");
  TcpSocket owner(fd);
  const int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return fail("setsockopt");
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return fail("bind");
  if (listen(fd, backlog) != 0) return fail("listen");
  *this = std::move(owner);
  return true;
}

uint16_t TcpSocket::LocalPort() const {
  sockaddr_in local = {};
  socklen_t length = sizeof local;
  if (handle_ < 0 ||
      getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    return 0;
  }
  return ntohs(local.sin_port);
}

bool TcpSocket::Accept(uint32_t timeout_ms, TcpSocket* client, std::string* remote_address,
                       uint16_t* remote_port) {
  if (handle_ < 0) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  // Without a time-out the accept itself waits (a blocking socket; Shutdown wakes it).
  if (timeout_ms != INFINITE && !WaitFor(static_cast<int>(handle_), POLLIN, timeout_ms)) return false;
  sockaddr_in peer = {};
  socklen_t length = sizeof peer;
  const int fd =
      accept4(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  if (fd < 0) return FailWithErrno();
  *client = TcpSocket(fd);
  if (remote_address != nullptr) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    *remote_address = text;
  }
  if (remote_port != nullptr) *remote_port = ntohs(peer.sin_port);
  return true;
}

bool TcpSocket::Connect(const std::string& address, uint16_t port, uint32_t timeout_ms) {
  Close();
  sockaddr_in remote;
  if (!ToSocketAddress(address, port, &remote)) return false;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return FailWithErrno();
  TcpSocket owner(fd);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
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
