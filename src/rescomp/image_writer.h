// Program-file images around a resource section: what the resource compiler writes out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rescomp/resource_section.h"

namespace qv::rescomp {

// A resource-only Windows image (a DLL like those the Windows tools make for resources): the headers
// and one ".rsrc" section holding the resources. PE32 (x86) or PE32+ (x64).
enum class PeFormat { kPe32, kPe32Plus };
std::vector<uint8_t> BuildPeImage(const std::vector<Resource>& resources, PeFormat format = PeFormat::kPe32);

// A minimal ELF file (64-bit, little-endian) whose only content is our ".rsrc" section holding the
// given section bytes (BuildResourceSection with data base 0): a program file to read resources
// from, as the resource reader reads our programs.
std::vector<uint8_t> BuildElfImage(const std::vector<uint8_t>& section);

// C++ source that places the section bytes in the ELF section ".rsrc" of the program it is linked
// into, kept by compiler and linker though no code refers to it.
std::string BuildSectionSource(const std::vector<uint8_t>& section, const std::string& origin);

}  // namespace qv::rescomp
