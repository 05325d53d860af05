// The message-table resource (MESSAGE_RESOURCE_DATA) of a catalogue of message texts.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qv::rescomp {

// ANSI entries, each NUL-terminated and padded to 32 bits; every run of consecutive ids forms one
// block. A text too long for an entry raises EResourceError.
std::vector<uint8_t> BuildMessageTable(const std::map<uint32_t, std::string>& messages);

}  // namespace qv::rescomp
