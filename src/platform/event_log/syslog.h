// The system log (syslog) that the event log copies its events to: where the copies go, and a
// listener that receives what is sent to a local syslog socket, as a syslog daemon does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qv::platform {

// Severities and the facility of the copies (the numbers of RFC 5424).
inline constexpr int kSyslogSeverityError = 3;
inline constexpr int kSyslogSeverityWarning = 4;
inline constexpr int kSyslogSeverityNotice = 5;
inline constexpr int kSyslogSeverityInformational = 6;
inline constexpr int kSyslogFacilityDaemon = 3;

// The local datagram socket the copies are sent to: QUORVANE_SYSLOG_SOCKET when it is set (set and
// empty: no copies are sent), else /dev/log.
std::string SyslogSocketPath();

// A local datagram socket bound to a path; the socket file is removed when the listener goes.
class SyslogListener {
 public:
  // Raises EWin32Error with the reason when the path cannot be bound.
  explicit SyslogListener(const std::string& path);
  SyslogListener(const SyslogListener&) = delete;
  SyslogListener& operator=(const SyslogListener&) = delete;
  ~SyslogListener();

  const std::string& Path() const { return path_; }
  // The next datagram; false with ERROR_TIMEOUT when none comes within the time-out.
  bool Receive(uint32_t timeout_ms, std::string* datagram);

 private:
  struct Socket;
  std::string path_;
  std::unique_ptr<Socket> socket_;
};

}  // namespace qv::platform
