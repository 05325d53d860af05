// File attributes (GetFileAttributes / SetFileAttributes): here only whether a file is write-protected.
// A read-only file may not be written by anyone, the superuser included, as on Windows.
#pragma once

#include <cstdint>
#include <string>

namespace qv::platform {

inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// FILE_ATTRIBUTE_READONLY when nobody may write the file (no write permission bits),
// FILE_ATTRIBUTE_DIRECTORY for a directory, else FILE_ATTRIBUTE_NORMAL. INVALID_FILE_ATTRIBUTES
// and the last error set when the file cannot be examined.
uint32_t GetFileAttributes(const std::string& path);
// FILE_ATTRIBUTE_READONLY takes every write permission away; without it the owner may write again.
bool SetFileAttributes(const std::string& path, uint32_t attributes);

}  // namespace qv::platform
