// The system's file attributes, of which the read-only and directory bits are told.
#include "platform/files/file_attributes.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

uint32_t GetFileAttributes(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return INVALID_FILE_ATTRIBUTES;
  const uint32_t told = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  return told != 0 ? told : FILE_ATTRIBUTE_NORMAL;
}

// Only the read-only bit is set or cleared; the file's other attributes (archive ...) stay.
bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  const std::wstring wide = win32::Wide(path);
  const DWORD current = ::GetFileAttributesW(wide.c_str());
  if (current == INVALID_FILE_ATTRIBUTES) return false;
  DWORD wanted = current & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) wanted |= FILE_ATTRIBUTE_READONLY;
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileAttributesW(wide.c_str(), wanted) != 0;
}

}  // namespace qv::platform
