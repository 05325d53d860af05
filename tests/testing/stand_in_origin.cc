#include "testing/stand_in_origin.h"

#include <cstdlib>

#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/text/ascii_text.h"

namespace qv::testing {

namespace {

constexpr uint32_t kPollMs = 100;
// How long a client may take to send its request header.
constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr size_t kMaxRequestBytes = 64 * 1024;

// The Content-Length a request header gives; 0 without one.
size_t ContentLength(const std::string& header) {
  const std::string lower = AsciiLowerCase(header);
  const size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<size_t>(std::strtoull(header.c_str() + at + 17, nullptr, 10));
}

}  // namespace

std::string WmlResponse(std::string_view deck) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n" + std::string(deck);
}

StandInOrigin::StandInOrigin(std::string response)
    : StandInOrigin(Responder([this](const std::string&) {
        std::lock_guard lock(mutex_);
        return response_;
      })) {
  SetResponse(std::move(response));
}

StandInOrigin::StandInOrigin(Responder responder) : responder_(std::move(responder)) {
  if (!listener_.Listen("127.0.0.1", 0, 16)) {
    const uint32_t code = platform::GetLastError();
    throw EWin32Error("The stand-in origin cannot listen on 127.0.0.1", code);
  }
  port_ = listener_.LocalPort();
  thread_ = std::thread([this] { Serve(); });
}

StandInOrigin::~StandInOrigin() {
  stopping_ = true;
  thread_.join();
}

std::string StandInOrigin::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void StandInOrigin::SetResponse(std::string response) {
  std::lock_guard lock(mutex_);
  response_ = std::move(response);
}

std::vector<std::string> StandInOrigin::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void StandInOrigin::Serve() {
  while (!stopping_) {
    platform::TcpSocket connection;
    if (listener_.Accept(kPollMs, &connection)) Answer(connection);
  }
}

void StandInOrigin::Answer(platform::TcpSocket& connection) {
  std::string request;
  size_t received = 0;
  for (uint32_t waited = 0;
       request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes;) {
    if (stopping_ || waited >= kRequestTimeoutMs) return;
    if (connection.Receive(kPollMs, 4096, &request, &received)) {
      if (received == 0) return;  // the client went away without a complete request
    } else if (platform::GetLastError() == platform::WSAETIMEDOUT) {
      waited += kPollMs;
    } else {
      return;
    }
  }
  // A body (a WebDAV client's REPORT) is read whole, so that the close after the answer finds nothing
  // unread, which would reset the connection before the client has read the answer.
  const size_t header_end = request.find("\r\n\r\n") + 4;
  const size_t body_length = ContentLength(request.substr(0, header_end));
  for (uint32_t waited = 0; request.size() < header_end + body_length && waited < kRequestTimeoutMs;) {
    if (connection.Receive(kPollMs, 4096, &request, &received)) {
      if (received == 0) return;
    } else {
      waited += kPollMs;
    }
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request.substr(0, header_end));
  }
  connection.Send(responder_(request));
}

}  // namespace qv::testing
