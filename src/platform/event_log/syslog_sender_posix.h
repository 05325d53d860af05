// Sends messages to a local syslog socket in the form the C library's syslog() uses
// ("<PRI>Mmm dd hh:mm:ss TAG[PID]: TEXT"), which syslog daemons and journald read. Internal to the
// POSIX platform layer (the event log sends its copies with it).
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

#include "platform/os/unique_fd_posix.h"

namespace qv::platform::posix {

class SyslogSender {
 public:
  // An empty path, or one too long for a socket address, sends nothing.
  explicit SyslogSender(const std::string& socket_path);

  // False when nothing is ever sent (no path, or no socket could be made).
  bool Active() const { return static_cast<bool>(socket_); }

  // Sends one message without waiting: a missing or busy syslog daemon loses it. The tag is made safe
  // for the header (no blanks, colons or brackets); the UTF-8 text has its CR LF turned into LF, its
  // final line breaks dropped, and is cut to fit one datagram. Several threads may send at once.
  bool Send(int facility, int severity, const std::string& tag, const std::string& text) const;

 private:
  UniqueFd socket_;
  sockaddr_un address_{};
  socklen_t address_length_ = 0;
};

}  // namespace qv::platform::posix
