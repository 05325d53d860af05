// Files and directories through the wide Win32 file calls.
#include <algorithm>

#include "platform/com/guid.h"
#include "platform/errors/exception.h"
#include "platform/files/file_system.h"
#include "platform/process/module.h"
#include "platform/text/wide_text_win32.h"

#include "platform/files/owner_only_security_win32.h"
#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

DWORD Attributes(const std::string& path) {
  return ::GetFileAttributesW(win32::Wide(path).c_str());
}

// The folder above a path; empty when the path has none (or is a drive's root).
std::string ParentOf(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && IsPathDelimiter(path[end - 1])) --end;
  while (end > 0 && !IsPathDelimiter(path[end - 1])) --end;
  while (end > 1 && IsPathDelimiter(path[end - 1]) && !IsPathDelimiter(path[end - 2])) --end;
  std::string parent = path.substr(0, end);
  if (parent.size() == 2 && parent[1] == ':') return std::string();  // "C:"
  return parent;
}

std::string Joined(const std::string& directory, const std::string& name) {
  if (!directory.empty() && IsPathDelimiter(directory.back())) return directory + name;
  return directory + "\\" + name;
}

bool IsDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

}  // namespace

bool GetFileStamp(const std::string& path, FileStamp* stamp) {
  // Opened for no access at all, so that no share mode of another opener stands in the way.
  const win32::UniqueHandle file(::CreateFileW(win32::Wide(path).c_str(), 0,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file || !::GetFileInformationByHandle(file.get(), &information)) return false;
  stamp->volume = information.dwVolumeSerialNumber;
  stamp->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  stamp->size = (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  stamp->write_time = (static_cast<uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32) |
                      information.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectory(const std::string& path) {
  return ::CreateDirectoryW(win32::Wide(path).c_str(), nullptr) != 0;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (DirectoryExists(path)) return true;
  const std::string parent = ParentOf(path);
  if (!parent.empty() && parent.size() < path.size() && !ForceDirectories(parent)) return false;
  if (CreateDirectory(path)) return true;
  const DWORD error = ::GetLastError();
  if (DirectoryExists(path)) return true;  // made by someone else meanwhile
  ::SetLastError(error);
  return false;
}

bool DeleteFile(const std::string& path) {
  return ::DeleteFileW(win32::Wide(path).c_str()) != 0;
}

bool DeleteTree(const std::string& path) {
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  const std::wstring wide = win32::Wide(path);
  // Write-protected entries go as well, as rm -r takes them.
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    ::SetFileAttributesW(wide.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ::RemoveDirectoryW(wide.c_str()) != 0;
    return ::DeleteFileW(wide.c_str()) != 0;
  }
  std::vector<std::string> names;
  if (!ListDirectory(path, &names)) return false;
  bool all = true;
  for (const std::string& name : names) all = DeleteTree(Joined(path, name)) && all;
  if (!all) return false;
  return ::RemoveDirectoryW(wide.c_str()) != 0;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  win32::UniqueHandle file(::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  std::string data;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr)) return false;
    if (got == 0) break;
    data.append(buffer, got);
  }
  *content = std::move(data);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& content, bool owner_only) {
  const std::wstring wide = win32::Wide(path);
  win32::OwnerOnlySecurity security;
  // Replacing an existing file keeps its security; only a new one is given to the owner alone.
  SECURITY_ATTRIBUTES* attributes = owner_only && !FileExists(path) ? security.Attributes() : nullptr;
  win32::UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, attributes,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  size_t written = 0;
  while (written < content.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - written, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(file.get(), content.data() + written, chunk, &put, nullptr)) return false;
    written += put;
  }
  return true;
}

bool CreateOwnerOnlyFile(const std::string& path) {
  win32::OwnerOnlySecurity security;
  win32::UniqueHandle file(::CreateFileW(win32::Wide(path).c_str(), GENERIC_WRITE, 0, security.Attributes(),
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file) || ::GetLastError() == ERROR_FILE_EXISTS;
}

bool RestrictToOwner(const std::string&, bool* tightened) {
  // The rights of an existing file are its administrator's on Windows.
  if (tightened != nullptr) *tightened = false;
  return true;
}

bool ForcePrivateDirectory(const std::string& path) {
  // A new directory inherits its parent's rights, as the system's own state folders expect.
  return ForceDirectories(path);
}

bool IsOwnerOnlyFile(const std::string& path) {
  if (!FileExists(path)) {
    if (DirectoryExists(path)) ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  bool owner_only = false;
  if (!win32::HasOwnerOnlyAccess(win32::Wide(path), &owner_only)) return false;
  return owner_only;
}

bool ListDirectory(const std::string& path, std::vector<std::string>* names) {
  WIN32_FIND_DATAW entry;
  win32::UniqueFindHandle find(::FindFirstFileW(win32::Wide(Joined(path, "*")).c_str(), &entry));
  if (!find) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND && DirectoryExists(path)) {
      names->clear();  // an empty drive root has not even "." and ".."
      return true;
    }
    return false;
  }
  std::vector<std::string> found;
  do {
    if (!IsDotEntry(entry.cFileName)) found.push_back(win32::NarrowBuffer(entry.cFileName, MAX_PATH));
  } while (::FindNextFileW(find.get(), &entry));
  if (::GetLastError() != ERROR_NO_MORE_FILES) return false;
  std::sort(found.begin(), found.end());
  *names = std::move(found);
  return true;
}

std::string CreateTemporaryDirectory(const std::string& prefix) {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(std::size(buffer)), buffer);
  const std::string base = length == 0 ? std::string(".") : win32::Narrow(std::wstring_view(buffer, length));
  static const char kDigits[] = "0123456789abcdef";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const Guid random = CreateGuid();
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kDigits[random[i] & 0x0F];
    const std::string path = Joined(base, name);
    if (CreateDirectory(path)) return path;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  const DWORD code = ::GetLastError();
  throw EWin32Error("Cannot create a temporary directory below " + base, code);
}

bool SetCurrentDirectory(const std::string& path) {
  return ::SetCurrentDirectoryW(win32::Wide(path).c_str()) != 0;
}

std::string GetCurrentDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::string();
    if (length < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), length));
    buffer.resize(length);
  }
}

}  // namespace qv::platform
