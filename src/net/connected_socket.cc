#include "net/connected_socket.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/errors/last_error.h"

namespace qv::net {

using namespace platform;

// One call's use of the handle. Close only shuts the connection down while calls use it (which wakes
// them); the last use releases the handle, so no call ever meets a released or reused handle.
class TCustomWinSocket::Use {
 public:
  explicit Use(TCustomWinSocket& socket) : socket_(socket) {
    std::lock_guard<std::mutex> lock(socket_.mutex_);
    active_ = socket_.connected_;
    if (active_) ++socket_.users_;
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  ~Use() {
    if (!active_) return;
    std::lock_guard<std::mutex> lock(socket_.mutex_);
    if (--socket_.users_ == 0 && !socket_.connected_) socket_.socket_.Close();
  }

  // The socket was connected when the call began.
  bool Active() const { return active_; }
  // This side has closed the socket since.
  bool ClosedMeanwhile() const {
    std::lock_guard<std::mutex> lock(socket_.mutex_);
    return !socket_.connected_;
  }

 private:
  TCustomWinSocket& socket_;
  bool active_ = false;
};

TCustomWinSocket::TCustomWinSocket(TcpSocket connected, std::string remote_address, uint16_t remote_port)
    : socket_(std::move(connected)), remote_address_(std::move(remote_address)), remote_port_(remote_port) {}

TCustomWinSocket::~TCustomWinSocket() {
  Close();
}

bool TCustomWinSocket::Connected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connected_;
}

std::string TCustomWinSocket::RemoteAddress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connected_ ? remote_address_ : std::string();
}

int32_t TCustomWinSocket::RemotePort() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connected_ ? remote_port_ : 0;
}

void TCustomWinSocket::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!connected_) return;
  connected_ = false;
  socket_.Shutdown();
  if (users_ == 0) socket_.Close();
}

int32_t TCustomWinSocket::SendText(const std::string& text) {
  uint32_t code;
  {
    Use use(*this);
    if (!use.Active()) return 0;
    size_t sent = 0;
    if (socket_.SendOnce(text, &sent)) {
      return static_cast<int32_t>(std::min<size_t>(sent, std::numeric_limits<int32_t>::max()));
    }
    code = GetLastError();
    // A send that failed because this side closed the connection is not the peer's failure.
    if (use.ClosedMeanwhile()) return 0;
  }
  int32_t error_code = static_cast<int32_t>(code);
  Error(eeSend, error_code);
  if (error_code != 0) RaiseSocketError(static_cast<uint32_t>(error_code), "send");
  return 0;
}

void TCustomWinSocket::Error(TErrorEvent, int32_t&) {}

bool TCustomWinSocket::ReadForStream(uint32_t timeout_ms, size_t max_bytes, std::string* data,
                                     size_t* received) {
  *received = 0;
  Use use(*this);
  if (!use.Active()) return true;
  if (socket_.Read(timeout_ms, max_bytes, data, received)) return true;
  return use.ClosedMeanwhile();
}

bool TCustomWinSocket::WaitForStream(uint32_t timeout_ms) {
  Use use(*this);
  if (!use.Active()) return true;
  return socket_.WaitForData(timeout_ms) || use.ClosedMeanwhile();
}

}  // namespace qv::net
