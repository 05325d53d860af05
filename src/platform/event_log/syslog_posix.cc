// The syslog destination and the listener on a local datagram socket.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/system_error_posix.h"
#include "platform/errors/win_error.h"
#include "platform/event_log/syslog.h"
#include "platform/os/unique_fd_posix.h"
#include "platform/process/environment.h"

namespace qv::platform {

std::string SyslogSocketPath() {
  if (const auto configured = GetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET")) return *configured;
  return "/dev/log";
}

struct SyslogListener::Socket {
  posix::UniqueFd fd;
};

SyslogListener::SyslogListener(const std::string& path) : path_(path), socket_(std::make_unique<Socket>()) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof(address.sun_path))
    posix::RaiseErrnoError("Cannot listen at \"" + path + "\"", ENAMETOOLONG);
  socket_->fd.reset(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket_->fd) posix::RaiseErrnoError("Cannot listen at \"" + path + "\"", errno);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (bind(socket_->fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
    posix::RaiseErrnoError("Cannot listen at \"" + path + "\"", errno);
}

SyslogListener::~SyslogListener() {
  socket_->fd.reset();
  unlink(path_.c_str());
}

bool SyslogListener::Receive(uint32_t timeout_ms, std::string* datagram) {
  pollfd waiting{socket_->fd.get(), POLLIN, 0};
  int ready;
  do {
    ready = poll(&waiting, 1, static_cast<int>(timeout_ms > 0x7FFFFFFF ? 0x7FFFFFFF : timeout_ms));
  } while (ready < 0 && errno == EINTR);
  if (ready == 0) {
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  if (ready < 0) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  std::string buffer(65536, '\0');
  const ssize_t received = recv(socket_->fd.get(), buffer.data(), buffer.size(), 0);
  if (received < 0) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  buffer.resize(static_cast<size_t>(received));
  *datagram = std::move(buffer);
  return true;
}

}  // namespace qv::platform
