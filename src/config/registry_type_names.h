// The names of the registry's value types, as reg and the settings' messages show them.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// "REG_SZ" for 1 ...; a type without a name is shown as "REG_0x" and its number in hexadecimal.
std::string RegistryTypeName(uint32_t type);

}  // namespace qv
