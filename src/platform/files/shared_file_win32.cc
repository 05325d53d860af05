// Share modes are the system's own (CreateFile's share mode): a writer lets others read
// (FILE_SHARE_READ) or shares the file with nobody, and a second writer's open fails with
// ERROR_SHARING_VIOLATION.
#include <utility>

#include "platform/files/shared_file.h"
#include "platform/text/wide_text_win32.h"

#include "platform/files/owner_only_security_win32.h"
#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

HANDLE SystemHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool SharedFile::OpenLocked(const std::string& path, Disposition disposition) {
  Close();
  DWORD access = GENERIC_WRITE;
  DWORD share = FILE_SHARE_READ;
  DWORD creation = OPEN_EXISTING;
  win32::OwnerOnlySecurity security;
  SECURITY_ATTRIBUTES* attributes = nullptr;
  if (disposition != Disposition::kOpenExisting) {
    access = GENERIC_READ | GENERIC_WRITE;
    share = 0;
    creation = disposition == Disposition::kCreateNew ? CREATE_NEW : CREATE_ALWAYS;
    attributes = security.Attributes();  // used only when the file is made; an existing one keeps its own
  }
  win32::UniqueHandle file(::CreateFileW(win32::Wide(path).c_str(), access, share, attributes, creation,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file.release());
  return true;
}

bool SharedFile::SeekToEnd(uint64_t* position) {
  if (!IsOpen()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  LARGE_INTEGER distance = {};
  LARGE_INTEGER end = {};
  if (!::SetFilePointerEx(SystemHandle(handle_), distance, &end, FILE_END)) return false;
  if (position != nullptr) *position = static_cast<uint64_t>(end.QuadPart);
  return true;
}

bool SharedFile::Write(std::string_view data) {
  if (!IsOpen()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  while (!data.empty()) {
    const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
    DWORD put = 0;
    if (!::WriteFile(SystemHandle(handle_), data.data(), chunk, &put, nullptr)) return false;
    data.remove_prefix(put);
  }
  return true;
}

void SharedFile::Close() {
  if (IsOpen()) ::CloseHandle(SystemHandle(std::exchange(handle_, -1)));
}

}  // namespace qv::platform
