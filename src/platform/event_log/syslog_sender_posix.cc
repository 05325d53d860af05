#include "platform/event_log/syslog_sender_posix.h"

#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace qv::platform::posix {

namespace {

// What syslog daemons take in one message without cutting it (rsyslog's default limit).
constexpr size_t kMaxDatagram = 8192;

std::string SafeTag(const std::string& tag) {
  std::string safe;
  for (const char c : tag) {
    const auto byte = static_cast<unsigned char>(c);
    safe += (byte <= ' ' || byte == 0x7F || c == ':' || c == '[' || c == ']') ? '_' : c;
  }
  return safe.empty() ? "-" : safe;
}

std::string MessageText(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  while (!lines.empty() && (lines.back() == '\n' || lines.back() == '\r')) lines.pop_back();
  return lines;
}

// Cuts UTF-8 text to at most `size` bytes without splitting a character.
void CutUtf8(std::string* text, size_t size) {
  if (text->size() <= size) return;
  size_t end = size;
  while (end > 0 && (static_cast<unsigned char>((*text)[end]) & 0xC0) == 0x80) --end;
  text->resize(end);
}

}  // namespace

SyslogSender::SyslogSender(const std::string& socket_path) {
  if (socket_path.empty() || socket_path.size() >= sizeof(address_.sun_path)) return;
  socket_.reset(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket_) return;
  address_.sun_family = AF_UNIX;
  std::memcpy(address_.sun_path, socket_path.data(), socket_path.size());
  address_length_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socket_path.size() + 1);
}

bool SyslogSender::Send(int facility, int severity, const std::string& tag, const std::string& text) const {
  if (!socket_) return false;
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char stamp[32];
  strftime(stamp, sizeof(stamp), "%b %e %H:%M:%S", &local);
  std::string message = "<" + std::to_string(facility * 8 + severity) + ">" + stamp + " " + SafeTag(tag) +
                        "[" + std::to_string(getpid()) + "]: ";
  std::string body = MessageText(text);
  CutUtf8(&body, kMaxDatagram > message.size() ? kMaxDatagram - message.size() : 0);
  message += body;
  // Not connected: each message finds the daemon that listens now, also after it was restarted.
  const ssize_t sent = sendto(socket_.get(), message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&address_), address_length_);
  return sent == static_cast<ssize_t>(message.size());
}

}  // namespace qv::platform::posix
