// What the tests of a running service program do from outside: pick a free port of 127.0.0.1, send
// one request as a gateway does and read the whole answer, see whether anything accepts connections,
// and wait for a text to appear in one of the files the service writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock/clock.h"
#include "platform/sockets/tcp_socket.h"
#include "testing/file_texts.h"

namespace qv::testing {

// Generous, for sanitizers on a loaded machine; only failing tests wait this long.
constexpr uint32_t kPatience = 20000;

// A port of 127.0.0.1 that nothing listens on now.
inline uint16_t FreeLoopbackPort() {
  platform::TcpSocket probe;
  if (!probe.Listen("127.0.0.1", 0, 1)) return 0;
  return probe.LocalPort();
}

// One request over 127.0.0.1 as a browser or gateway sends it; the whole answer up to the close.
// Nothing when the connection is refused.
inline std::optional<std::string> HttpGet(uint16_t port, const std::string& target) {
  platform::TcpSocket client;
  if (!client.Connect("127.0.0.1", port, kPatience)) return std::nullopt;
  if (!client.Send("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n"))
    return std::nullopt;
  std::string answer;
  size_t received = 0;
  while (client.Receive(kPatience, 65536, &answer, &received) && received > 0) {
  }
  return answer;
}

// Whether anything accepts connections on the port of 127.0.0.1.
inline bool Accepts(uint16_t port) {
  platform::TcpSocket client;
  return client.Connect("127.0.0.1", port, kPatience);
}

// Waits up to kPatience until the file holds the text.
inline bool WaitForText(const std::string& path, const std::string& text) {
  const uint32_t start = platform::GetTickCount();
  while (FileText(path).find(text) == std::string::npos) {
    if (platform::GetTickCount() - start > kPatience) return false;
    platform::Sleep(10);
  }
  return true;
}

}  // namespace qv::testing
