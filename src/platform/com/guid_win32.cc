#include <cstring>

#include "platform/com/guid.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

Guid CreateGuid() {
  GUID made;
  ::CoCreateGuid(&made);  // fails only without randomness, which Windows always has
  // GUID keeps Data1 to Data3 little-endian in memory, as our 16 bytes do.
  Guid guid;
  static_assert(sizeof(made) == sizeof(guid));
  std::memcpy(guid.data(), &made, guid.size());
  return guid;
}

}  // namespace qv::platform
