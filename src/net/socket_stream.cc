#include "net/socket_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"

namespace qv::net {

using namespace platform;

TWinSocketStream::TWinSocketStream(TCustomWinSocket& socket, uint32_t timeout_ms)
    : socket_(socket), timeout_ms_(timeout_ms) {
  buffer_.reserve(kBufferSize);
}

bool TWinSocketStream::WaitForData(uint32_t timeout_ms) {
  if (position_ < buffer_.size()) return true;
  ++socket_waits_;
  return socket_.WaitForStream(timeout_ms);
}

int32_t TWinSocketStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (position_ == buffer_.size()) {
    buffer_.clear();
    position_ = 0;
    size_t received = 0;
    ++socket_reads_;
    if (!socket_.ReadForStream(timeout_ms_, kBufferSize, &buffer_, &received)) {
      const uint32_t code = GetLastError();
      if (code == WSAETIMEDOUT) return 0;
      RaiseSocketError(code, "recv");
    }
    if (received == 0) return 0;
  }
  const size_t taken = std::min(buffer_.size() - position_, static_cast<size_t>(count));
  std::memcpy(buffer, buffer_.data() + position_, taken);
  position_ += taken;
  return static_cast<int32_t>(taken);
}

}  // namespace qv::net
