// Conversion between UTF-8 and the Windows-1252 code page, the single-byte texts of the system.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Each character of the UTF-8 text as its Windows-1252 byte; a character the code page lacks, and
// each byte of a malformed UTF-8 sequence, becomes "?".
std::string Utf8ToWindows1252(std::string_view utf8);

// Each Windows-1252 byte as its UTF-8 character; the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number, as Windows does.
std::string Windows1252ToUtf8(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace qv
