// Resources of a program file that is not loaded (FindResourceEx + LoadResource + SizeofResource on
// a file opened as data): Windows program files (PE) and our own program files, which carry the
// same resource directory in an ELF section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::platform {

// Resource types (the RT_ numbers) and languages the system uses.
inline constexpr uint16_t kResourceTypeMessageTable = 11;  // RT_MESSAGETABLE
inline constexpr uint16_t kResourceTypeVersion = 16;       // RT_VERSION
inline constexpr uint16_t kLanguageNeutral = 0x0000;       // MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)
inline constexpr uint16_t kLanguageEnglishUs = 0x0409;     // English (United States), 1033

// The data of the resource with the given type, numeric id and language. Language neutral picks
// as a program would: the neutral resource, else English (United States), else the first language
// the file has; any other language must be there as given. The file is untrusted: a damaged or
// lying file gives false, never a read outside it. On failure the last error says why: the file's own
// errors, ERROR_BAD_FORMAT (not a program file, or a damaged one), ERROR_RESOURCE_DATA_NOT_FOUND (no
// resource section), or ERROR_RESOURCE_TYPE_/NAME_/LANG_NOT_FOUND.
bool LoadProgramResource(const std::string& path, uint16_t type, uint16_t id, uint16_t language,
                         std::vector<uint8_t>* data);

}  // namespace qv::platform
