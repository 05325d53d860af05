// The viewer's HTTP server: it listens on an address and port, and serves each connection by a
// thread of its own that reads one request, answers it (viewer_requests.h) and closes the connection.
#pragma once

#include <cstdint>
#include <string>

#include "net/server_socket.h"
#include "phone/viewer_requests.h"

namespace qv::phone {

class PhoneViewer {
 public:
  // Connections served at once; more are closed at once.
  static constexpr int32_t kMaxConnections = 32;

  // Listens at once on the dotted IPv4 address and port (0: one the system picks); raises
  // net::ESocketError when it cannot ("... on API 'bind'" for a port in use).
  PhoneViewer(const std::string& address, uint16_t port, ViewerSettings settings);
  PhoneViewer(const PhoneViewer&) = delete;
  PhoneViewer& operator=(const PhoneViewer&) = delete;
  // Stops listening and ends every connection, waiting for each.
  ~PhoneViewer();

  uint16_t Port() const { return server_.LocalPort(); }
  // "http://ADDRESS:PORT/"; 127.0.0.1 stands for an address of all interfaces.
  std::string Address() const;

 private:
  const ViewerSettings settings_;
  const std::string address_;
  net::TServerSocket server_;
};

}  // namespace qv::phone
