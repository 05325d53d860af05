// TCP over Windows Sockets, blocking sockets with WSAPoll for the time-outs. Winsock is started once
// for the process, on first use.
//
// Windows' shutdown neither stops a listening socket nor reliably wakes a WSAPoll on it, so Shutdown
// also marks the handle as shut down: the waits poll in short slices and end when the mark appears,
// and an accept on a marked socket fails. Close takes the mark away before the handle goes back to
// the system.
#include <algorithm>
#include <mutex>
#include <set>
#include <utility>

#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/sockets/tcp_socket.h"

#include "platform/os/windows_api_win32.h"

#include <ws2tcpip.h>

namespace qv::platform {

namespace {

constexpr uint32_t kWaitSliceMs = 50;  // how soon a wait sees that its socket was shut down

// Starts Winsock 2.2 once; false with the last error set when it cannot be had.
bool WinsockStarted() {
  static const int result = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (result != 0) ::SetLastError(static_cast<DWORD>(result));
  return result == 0;
}

struct ShutDownSockets {
  std::mutex mutex;
  std::set<SOCKET> sockets;
};

ShutDownSockets& ShutDown() {
  static ShutDownSockets table;
  return table;
}

bool IsShutDown(SOCKET socket) {
  ShutDownSockets& table = ShutDown();
  std::lock_guard<std::mutex> lock(table.mutex);
  return table.sockets.count(socket) != 0;
}

void MarkShutDown(SOCKET socket, bool shut) {
  ShutDownSockets& table = ShutDown();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (shut)
    table.sockets.insert(socket);
  else
    table.sockets.erase(socket);
}

SOCKET SystemSocket(std::intptr_t handle) {
  return static_cast<SOCKET>(handle);
}

bool FailWithWsaError() {
  ::SetLastError(static_cast<DWORD>(::WSAGetLastError()));
  return false;
}

// An IPv4 or IPv6 address and port as the socket calls take them.
struct SocketAddress {
  sockaddr_storage storage = {};
  int length = 0;
  int Family() const { return storage.ss_family; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

bool ToSocketAddress(const std::string& address, uint16_t port, SocketAddress* result) {
  *result = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&result->storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&result->storage);
  if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = ::htons(port);
    result->length = sizeof(sockaddr_in);
  } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = ::htons(port);
    result->length = sizeof(sockaddr_in6);
  } else {
    ::SetLastError(WSAEINVAL);
    return false;
  }
  return true;
}

// The address as text (dotted IPv4, or IPv6 as inet_ntop writes it) and the port.
void FromSocketAddress(const sockaddr_storage& address, std::string* text, uint16_t* port) {
  char buffer[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, buffer, sizeof buffer);
    if (port != nullptr) *port = ::ntohs(v6.sin6_port);
  } else {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, buffer, sizeof buffer);
    if (port != nullptr) *port = ::ntohs(v4.sin_port);
  }
  if (text != nullptr) *text = buffer;
}

// Waits until the socket is ready for the events, is shut down, or the time-out (INFINITE waits
// without limit) runs out (WSAETIMEDOUT).
bool WaitFor(SOCKET socket, short events, uint32_t timeout_ms) {
  const uint32_t start = GetTickCount();
  for (;;) {
    if (IsShutDown(socket)) return true;
    uint32_t slice = kWaitSliceMs;
    if (timeout_ms != INFINITE) {
      const uint32_t elapsed = GetTickCount() - start;
      if (elapsed > timeout_ms) break;
      slice = std::min(slice, timeout_ms - elapsed);
    }
    WSAPOLLFD entry = {};
    entry.fd = socket;
    entry.events = events;
    const int ready = ::WSAPoll(&entry, 1, static_cast<INT>(slice));
    if (ready > 0) return true;
    if (ready < 0) return FailWithWsaError();
    if (timeout_ms != INFINITE && slice == 0) break;
  }
  ::SetLastError(WSAETIMEDOUT);
  return false;
}

// The code a read of a socket handle (ReadFile) reports for a Winsock failure.
uint32_t ReadErrorFromWsaError(uint32_t code) {
  switch (code) {
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETRESET:
    case WSAETIMEDOUT:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
      return ERROR_NETNAME_DELETED;
    case WSAENOTCONN:
    case WSAESHUTDOWN:
      return ERROR_PIPE_NOT_CONNECTED;
    default:
      return code;
  }
}

uint32_t SameWsaError(uint32_t code) {
  return code;
}

// Takes what has arrived, waiting for it up to timeout_ms when nothing is there yet; failures are
// turned into the caller's codes by map_error. A socket shut down on this side reads as ended.
bool ReceiveWithin(std::intptr_t handle, uint32_t timeout_ms, size_t max_bytes, std::string* data,
                   size_t* received, uint32_t (*map_error)(uint32_t)) {
  *received = 0;
  if (handle < 0) {
    ::SetLastError(WSAENOTSOCK);
    return false;
  }
  const SOCKET socket = SystemSocket(handle);
  if (!WaitFor(socket, POLLRDNORM, timeout_ms)) {
    const uint32_t code = ::GetLastError();
    ::SetLastError(code == WSAETIMEDOUT ? code : map_error(code));
    return false;
  }
  if (IsShutDown(socket)) return true;
  const size_t old_size = data->size();
  const int wanted = static_cast<int>(std::min<size_t>(max_bytes, 0x7FFFFFFF));
  data->resize(old_size + static_cast<size_t>(wanted));
  const int count = ::recv(socket, data->data() + old_size, wanted, 0);
  data->resize(old_size + (count > 0 ? static_cast<size_t>(count) : 0));
  if (count == SOCKET_ERROR) {
    const uint32_t code = static_cast<uint32_t>(::WSAGetLastError());
    if (code == WSAESHUTDOWN && IsShutDown(socket)) return true;
    ::SetLastError(map_error(code));
    return false;
  }
  *received = static_cast<size_t>(count);
  return true;
}

}  // namespace

void TcpSocket::Close() {
  if (handle_ < 0) return;
  // Closing is also how a failed call's socket goes: the code that call set stays the thread's.
  const DWORD error = ::GetLastError();
  const SOCKET socket = SystemSocket(std::exchange(handle_, -1));
  MarkShutDown(socket, false);
  ::closesocket(socket);
  ::SetLastError(error);
}

bool TcpSocket::Listen(const std::string& address, uint16_t port, int backlog, std::string* failed_call) {
  Close();
  const auto fail = [failed_call](const char* call) {
    const int error = ::WSAGetLastError();
    if (failed_call != nullptr) *failed_call = call;
    ::SetLastError(static_cast<DWORD>(error));
    return false;
  };
  SocketAddress local;
  if (!ToSocketAddress(address, port, &local)) {
    if (failed_call != nullptr) *failed_call = "bind";
    return false;
  }
  if (!WinsockStarted()) {
    if (failed_call != nullptr) *failed_call = "socket";
    return false;
  }
  // Not inherited by programs this process starts.
  const SOCKET socket =
      ::WSASocketW(local.Family(), SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return fail("socket");
  TcpSocket owner(static_cast<std::intptr_t>(socket));
  // Windows lets SO_REUSEADDR take a port another socket listens on; exclusive use is its way of
  // refusing that, and a port left in TIME_WAIT is still free to bind.
  const BOOL on = TRUE;
  if (::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on) !=
      0)
    return fail("setsockopt");
  // An IPv6 socket takes IPv6 alone: IPv4 is an address of its own.
  if (local.Family() == AF_INET6 &&
      ::setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on) != 0)
    return fail("setsockopt");
  if (::bind(socket, local.Get(), local.length) != 0) return fail("bind");
  if (::listen(socket, backlog) != 0) return fail("listen");
  *this = std::move(owner);
  return true;
}

uint16_t TcpSocket::LocalPort() const {
  sockaddr_storage local = {};
  int length = sizeof local;
  if (handle_ < 0 || ::getsockname(SystemSocket(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0)
    return 0;
  uint16_t port = 0;
  FromSocketAddress(local, nullptr, &port);
  return port;
}

bool TcpSocket::Accept(uint32_t timeout_ms, TcpSocket* client, std::string* remote_address,
                       uint16_t* remote_port) {
  if (handle_ < 0) {
    ::SetLastError(WSAENOTSOCK);
    return false;
  }
  const SOCKET listening = SystemSocket(handle_);
  if (!WaitFor(listening, POLLRDNORM, timeout_ms)) return false;
  if (IsShutDown(listening)) {
    ::SetLastError(WSAEINVAL);
    return false;
  }
  sockaddr_storage peer = {};
  int length = sizeof peer;
  const SOCKET socket = ::accept(listening, reinterpret_cast<sockaddr*>(&peer), &length);
  if (socket == INVALID_SOCKET) return FailWithWsaError();
  ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
  *client = TcpSocket(static_cast<std::intptr_t>(socket));
  FromSocketAddress(peer, remote_address, remote_port);
  return true;
}

bool TcpSocket::Connect(const std::string& address, uint16_t port, uint32_t timeout_ms) {
  Close();
  SocketAddress remote;
  if (!ToSocketAddress(address, port, &remote)) return false;
  if (!WinsockStarted()) return false;
  const SOCKET socket =
      ::WSASocketW(remote.Family(), SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return FailWithWsaError();
  TcpSocket owner(static_cast<std::intptr_t>(socket));
  u_long non_blocking = 1;
  if (::ioctlsocket(socket, FIONBIO, &non_blocking) != 0) return FailWithWsaError();
  if (::connect(socket, remote.Get(), remote.length) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return FailWithWsaError();
    // A refused connection shows as an error (or hang-up) on the poll.
    if (!WaitFor(socket, POLLWRNORM, timeout_ms)) return false;
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
      return FailWithWsaError();
    if (error != 0) {
      ::SetLastError(static_cast<DWORD>(error));
      return false;
    }
  }
  // Blocking from here on, as a socket from accept is: the time-outs come from WaitFor.
  non_blocking = 0;
  if (::ioctlsocket(socket, FIONBIO, &non_blocking) != 0) return FailWithWsaError();
  *this = std::move(owner);
  return true;
}

bool TcpSocket::Receive(uint32_t timeout_ms, size_t max_bytes, std::string* data, size_t* received) {
  return ReceiveWithin(handle_, timeout_ms, max_bytes, data, received, SameWsaError);
}

bool TcpSocket::Read(uint32_t timeout_ms, size_t max_bytes, std::string* data, size_t* received) {
  return ReceiveWithin(handle_, timeout_ms, max_bytes, data, received, ReadErrorFromWsaError);
}

bool TcpSocket::WaitForData(uint32_t timeout_ms) {
  if (handle_ < 0) {
    ::SetLastError(WSAENOTSOCK);
    return false;
  }
  // A hang-up or an error is reported by the poll whatever was asked for; it makes a read not block.
  return WaitFor(SystemSocket(handle_), POLLRDNORM, timeout_ms);
}

bool TcpSocket::Send(std::string_view data) {
  while (!data.empty()) {
    size_t sent = 0;
    if (!SendOnce(data, &sent)) return false;
    data.remove_prefix(sent);
  }
  return true;
}

bool TcpSocket::SendOnce(std::string_view data, size_t* sent) {
  *sent = 0;
  if (handle_ < 0) {
    ::SetLastError(WSAENOTSOCK);
    return false;
  }
  const int wanted = static_cast<int>(std::min<size_t>(data.size(), 0x7FFFFFFF));
  const int count = ::send(SystemSocket(handle_), data.data(), wanted, 0);
  if (count == SOCKET_ERROR) return FailWithWsaError();
  *sent = static_cast<size_t>(count);
  return true;
}

bool TcpSocket::ShutdownSend() {
  if (handle_ < 0) {
    ::SetLastError(WSAENOTSOCK);
    return false;
  }
  return ::shutdown(SystemSocket(handle_), SD_SEND) == 0 || FailWithWsaError();
}

void TcpSocket::Shutdown() {
  if (handle_ < 0) return;
  const SOCKET socket = SystemSocket(handle_);
  MarkShutDown(socket, true);
  ::shutdown(socket, SD_BOTH);  // fails on a listening socket; the mark stops that one
}

void TcpSocket::CloseWithReset() {
  if (handle_ < 0) return;
  const linger abort = {1, 0};
  ::setsockopt(SystemSocket(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
               sizeof abort);
  Close();
}

}  // namespace qv::platform
