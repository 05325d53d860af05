// An HTTP origin on 127.0.0.1 that stands in for the service in tests of the gateway harness: it
// answers every connection with the response set last, sent in one piece once the request header (up
// to its blank line) and the body its Content-Length announces have arrived, and then closes the
// connection, as the service does. It keeps the request headers it received.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/sockets/tcp_socket.h"

namespace qv::testing {

// "HTTP/1.0 200 OK", the WML content type, a blank line and the deck: the service's answer.
std::string WmlResponse(std::string_view deck);

class StandInOrigin {
 public:
  // Listens on a free port of 127.0.0.1 and serves on a thread of its own. Raises EWin32Error when
  // it cannot listen.
  explicit StandInOrigin(std::string response);
  // Answers each request with what the function makes of it (its header and body, whole); the
  // function runs on the origin's thread.
  using Responder = std::function<std::string(const std::string& request)>;
  explicit StandInOrigin(Responder responder);
  StandInOrigin(const StandInOrigin&) = delete;
  StandInOrigin& operator=(const StandInOrigin&) = delete;
  // Stops serving: the thread ends within a tenth of a second after the current connection.
  ~StandInOrigin();

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by the path (with its query).
  std::string Url(std::string_view path) const;
  void SetResponse(std::string response);
  // Every request header received so far, each from its GET line to its blank line.
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  void Answer(platform::TcpSocket& connection);

  platform::TcpSocket listener_;
  uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::string response_;
  Responder responder_;
  std::vector<std::string> requests_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace qv::testing
