// Texts between our single-byte strings (Windows-1252, the system's ANSI code page) and the UTF-16 of
// the wide Win32 calls. The layer uses the wide calls with this fixed conversion, so texts mean the
// same whatever code page the machine is set to, as they do on Linux.
#pragma once

#include <string>
#include <string_view>

namespace qv::platform::win32 {

std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);
// A text the system wrote into a buffer of wide characters, up to its first NUL (or the end).
std::string NarrowBuffer(const wchar_t* buffer, size_t capacity);

}  // namespace qv::platform::win32
