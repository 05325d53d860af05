#include "platform/process/host_system.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

bool RunsOnWindows() {
  return true;
}

bool RunsUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace qv::platform
