// The calling thread's last platform error code, as GetLastError and SetLastError keep it.
#pragma once

#include <cstdint>

namespace qv::platform {

uint32_t GetLastError();
void SetLastError(uint32_t code);

}  // namespace qv::platform
