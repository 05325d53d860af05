#include "testing/stand_in_origin.h"

#include "platform/exception.h"
#include "platform/last_error.h"
#include "platform/win_error.h"

namespace qv::testing {

namespace {

constexpr uint32_t kPollMs = 100;
// How long a client may take to send its request header.
constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr size_t kMaxRequestBytes = 64 * 1024;

}  // namespace

std::string WmlResponse(std::string_view deck) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n" + std::string(deck);
}

StandInOrigin::StandInOrigin(std::string response) : response_(std::move(response)) {
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
  std::string response;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request.substr(0, request.find("\r\n\r\n") + 4));
    response = response_;
  }
  connection.Send(response);
}

}  // namespace qv::testing
