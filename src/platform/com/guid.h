// Globally unique identifiers, as CoCreateGuid makes them.
#pragma once

#include <array>
#include <cstdint>

namespace qv::platform {

using Guid = std::array<uint8_t, 16>;

// A new random GUID (version 4), its 16 bytes in memory order.
Guid CreateGuid();

}  // namespace qv::platform
