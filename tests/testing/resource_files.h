// Program files with chosen resources, for the tests of the resource readers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "rescomp/resource_section.h"

namespace qv::testing {

// A version resource whose one string table (language, code page) holds the values in order, and
// whose Translation names that pair.
std::vector<uint8_t> VersionResource(const std::vector<std::pair<std::string, std::string>>& values,
                                     uint16_t language = 0x0409, uint16_t code_page = 0x04E4);

// The resource as a program file keeps it: type RT_VERSION, id 1, English (United States).
rescomp::Resource VersionResourceEntry(std::vector<uint8_t> data);

// Writes the bytes to path (a test failure when it cannot) and returns the path.
std::string WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace qv::testing
