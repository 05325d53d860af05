// The one part of the version functions (file_version.h) that each platform does its own way: reading
// a program file's version resource. Internal to the platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::platform {

// The file's VS_VERSIONINFO block, as long as the block says. False with the last error set when the
// file cannot be read or holds no version resource.
bool ReadVersionResource(const std::string& path, std::vector<uint8_t>* resource);

}  // namespace qv::platform
