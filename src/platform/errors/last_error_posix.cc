#include "platform/errors/last_error.h"

namespace qv::platform {

namespace {
thread_local uint32_t last_error = 0;
}

uint32_t GetLastError() {
  return last_error;
}
void SetLastError(uint32_t code) {
  last_error = code;
}

}  // namespace qv::platform
