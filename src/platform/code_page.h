// Conversion between the system's single-byte texts (the ANSI code page, Windows-1252) and UTF-16,
// as MultiByteToWideChar and WideCharToMultiByte do it for that code page. Program files keep their
// resource texts in UTF-16; everything else in the system speaks Windows-1252.
#pragma once

#include <string>
#include <string_view>

namespace qv::platform {

// Every byte becomes one UTF-16 unit; the five bytes that Windows-1252 leaves undefined keep their value.
std::u16string AnsiToWide(std::string_view text);

// Every UTF-16 unit (a surrogate pair counts as one character) becomes one byte; characters that
// Windows-1252 cannot show become '?'.
std::string WideToAnsi(std::u16string_view text);

}  // namespace qv::platform
