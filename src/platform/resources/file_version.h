// The version resource of a program file (GetFileVersionInfoSize, GetFileVersionInfo, VerQueryValue):
// the published VS_VERSIONINFO layout, read from Windows program files and from our own.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qv::platform {

// The size of the file's version resource; 0 when there is none (no file, not a program file, no
// version resource), with the last error set.
uint32_t GetFileVersionInfoSize(const std::string& path);

// Copies the file's version resource into data, as much of it as fits.
bool GetFileVersionInfo(const std::string& path, std::span<uint8_t> data);

// The value of a path in a version resource (VerQueryValue, ANSI form): "\" is the fixed file
// information, "\VarFileInfo\Translation" the language and code-page pairs, and a string is found
// as "\StringFileInfo\040904E4\CompanyName". Keys compare without regard to case. A binary value comes back
// byte for byte, a text value in the ANSI code page with as many characters as the resource counts
// (its terminating NUL included, as written). False when the path is not there. The block is
// untrusted: lengths that lie make the path not found, never a read outside the block.
bool VerQueryValue(std::span<const uint8_t> block, const std::string& sub_block, std::string* value);

}  // namespace qv::platform
