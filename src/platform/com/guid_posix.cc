#include <sys/random.h>

#include <cerrno>
#include <random>

#include "platform/com/guid.h"

namespace qv::platform {

Guid CreateGuid() {
  Guid guid;
  size_t filled = 0;
  while (filled < guid.size()) {
    const ssize_t got = getrandom(guid.data() + filled, guid.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      // No kernel randomness: fall back on the library's generator rather than fail.
      std::random_device device;
      for (; filled < guid.size(); ++filled) guid[filled] = static_cast<uint8_t>(device());
      break;
    }
    filled += static_cast<size_t>(got);
  }
  guid[7] = static_cast<uint8_t>((guid[7] & 0x0F) | 0x40);  // version 4 (Data3's high nibble)
  guid[8] = static_cast<uint8_t>((guid[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return guid;
}

}  // namespace qv::platform
