// Conversion between the system's single-byte texts (the ANSI code page, Windows-1252) and Unicode:
// UTF-16 as MultiByteToWideChar and WideCharToMultiByte do it for that code page (program files keep
// their resource texts in UTF-16), and UTF-8 (the calendar store, iCalendar files, syslog, JSON).
// Everything else in the system speaks Windows-1252.
#pragma once

#include <string>
#include <string_view>

namespace qv::platform {

// Every byte becomes one UTF-16 unit; the five bytes that Windows-1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) keep their value, as the C1 controls of the same number.
std::u16string AnsiToWide(std::string_view text);

// Every UTF-16 unit (a surrogate pair counts as one character) becomes one byte; characters that
// Windows-1252 cannot show become '?'.
std::string WideToAnsi(std::u16string_view text);

// Each character of the UTF-8 text as its Windows-1252 byte; a character the code page lacks, and
// each byte of a malformed UTF-8 sequence, becomes "?".
std::string Utf8ToWindows1252(std::string_view utf8);

// Each Windows-1252 byte as its UTF-8 character; the undefined bytes as the C1 controls, as above.
std::string Windows1252ToUtf8(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace qv::platform
