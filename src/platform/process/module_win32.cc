#include <vector>

#include "platform/process/module.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

std::string GetModuleFileName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);  // cut short: ERROR_INSUFFICIENT_BUFFER
  }
}

char PathDelimiter() {
  return '\\';
}

// Windows takes a slash as well as a backslash between the parts of a path.
bool IsPathDelimiter(char c) {
  return c == '\\' || c == '/';
}

const char* ProgramFileSuffix() {
  return ".exe";
}

std::string GetComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = static_cast<DWORD>(std::size(name));
  if (!::GetComputerNameW(name, &size)) return std::string();
  return win32::Narrow(std::wstring_view(name, size));
}

}  // namespace qv::platform
