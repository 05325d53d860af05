// The resource section of a program file: the PE resource directory (types, then ids, then
// languages, each level sorted) followed by the data entries and the data.
#pragma once

#include <cstdint>
#include <vector>

namespace qv::rescomp {

struct Resource {
  uint16_t type = 0;
  uint16_t id = 0;
  uint16_t language = 0;
  std::vector<uint8_t> data;
};

// The section's bytes. Data entries address their data as data_base + its offset in the section:
// data_base is the section's RVA in a PE image and 0 in the ELF section of our program files.
// Two resources with the same type, id and language raise EResourceError.
std::vector<uint8_t> BuildResourceSection(const std::vector<Resource>& resources, uint32_t data_base);

}  // namespace qv::rescomp
