// The process's environment block (GetEnvironmentVariable, SetEnvironmentVariable), which child
// processes inherit. The C library keeps a copy of its own, updated here as well, so that libraries
// that read it with getenv see the same values.
#include <stdlib.h>

#include <vector>

#include "platform/process/environment.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

std::optional<std::string> GetEnvironmentVariable(const std::string& name) {
  const std::wstring wide_name = win32::Wide(name);
  std::vector<wchar_t> buffer(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length =
        ::GetEnvironmentVariableW(wide_name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();  // set and empty
    }
    if (length < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), length));
    buffer.resize(length);  // the size needed, its NUL included
  }
}

void SetEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
  const std::wstring wide_name = win32::Wide(name);
  if (value) {
    const std::wstring wide_value = win32::Wide(*value);
    // The C library cannot hold an empty value: it removes the variable, from the process's block as
    // well. So it goes first, and the block gets the value afterwards.
    _wputenv_s(wide_name.c_str(), wide_value.c_str());
    ::SetEnvironmentVariableW(wide_name.c_str(), wide_value.c_str());
  } else {
    ::SetEnvironmentVariableW(wide_name.c_str(), nullptr);
    _wputenv_s(wide_name.c_str(), L"");
  }
}

}  // namespace qv::platform
