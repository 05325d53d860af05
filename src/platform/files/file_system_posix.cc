#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/exception.h"
#include "platform/files/file_system.h"
#include "platform/os/unique_fd_posix.h"
#include "platform/process/environment.h"

namespace qv::platform {

namespace {

bool Fail() {
  posix::SetLastErrorFromErrno(errno);
  return false;
}

// Creates the directory with every missing parent (0755); the last level gets the mode given.
bool ForceDirectoriesWith(const std::string& path, mode_t mode) {
  if (path.empty()) {
    errno = ENOENT;
    return Fail();
  }
  if (DirectoryExists(path)) return true;
  const size_t cut = path.find_last_of('/');
  if (cut != std::string::npos && cut > 0 && !ForceDirectoriesWith(path.substr(0, cut), 0755)) return false;
  if (mkdir(path.c_str(), mode) == 0 || (errno == EEXIST && DirectoryExists(path))) return true;
  return Fail();
}

}  // namespace

bool GetFileStamp(const std::string& path, FileStamp* stamp) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return Fail();
  stamp->volume = static_cast<uint64_t>(info.st_dev);
  stamp->index = static_cast<uint64_t>(info.st_ino);
  stamp->size = static_cast<uint64_t>(info.st_size);
  stamp->write_time =
      static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
  return true;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsOwnerOnlyFile(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return Fail();
  return (info.st_mode & 077) == 0;
}

bool CreateOwnerOnlyFile(const std::string& path) {
  posix::UniqueFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  return file || errno == EEXIST || Fail();
}

bool RestrictToOwner(const std::string& path, bool* tightened) {
  if (tightened != nullptr) *tightened = false;
  // Opened, not named, so that a link put in its place meanwhile is never followed; a FIFO does not
  // wait for a writer.
  posix::UniqueFd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file) return errno == ENOENT || errno == ELOOP || Fail();
  struct stat info;
  if (fstat(file.get(), &info) != 0) return Fail();
  if (!S_ISREG(info.st_mode) || (info.st_mode & 077) == 0) return true;
  if (fchmod(file.get(), info.st_mode & 07700) != 0) return Fail();
  if (tightened != nullptr) *tightened = true;
  return true;
}

bool ForcePrivateDirectory(const std::string& path) {
  return ForceDirectoriesWith(path, 0700);
}

bool CreateDirectory(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return Fail();
  }
  return mkdir(path.c_str(), 0755) == 0 || Fail();
}

bool ForceDirectories(const std::string& path) {
  return ForceDirectoriesWith(path, 0755);
}

bool DeleteFile(const std::string& path) {
  return unlink(path.c_str()) == 0 || Fail();
}

bool DeleteTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT || Fail();
  if (!S_ISDIR(info.st_mode)) return DeleteFile(path);
  std::vector<std::string> names;
  if (!ListDirectory(path, &names)) return false;
  bool all_gone = true;
  for (const auto& name : names) all_gone = DeleteTree(path + "/" + name) && all_gone;
  return (rmdir(path.c_str()) == 0 || Fail()) && all_gone;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  posix::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return Fail();
  content->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(file.get(), buffer, sizeof(buffer));
    if (got < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (got == 0) return true;
    content->append(buffer, static_cast<size_t>(got));
  }
}

bool WriteWholeFile(const std::string& path, const std::string& content, bool owner_only) {
  posix::UniqueFd file(
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, owner_only ? 0600 : 0644));
  if (!file) return Fail();
  size_t written = 0;
  while (written < content.size()) {
    const ssize_t put = write(file.get(), content.data() + written, content.size() - written);
    if (put < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    written += static_cast<size_t>(put);
  }
  return true;
}

bool ListDirectory(const std::string& path, std::vector<std::string>* names) {
  DIR* directory = opendir(path.c_str());
  if (directory == nullptr) return Fail();
  names->clear();
  while (const struct dirent* entry = readdir(directory)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names->push_back(entry->d_name);
  }
  closedir(directory);
  std::sort(names->begin(), names->end());
  return true;
}

std::string CreateTemporaryDirectory(const std::string& prefix) {
  std::string base = GetEnvironmentVariable("TMPDIR").value_or("/tmp");
  if (base.empty()) base = "/tmp";
  std::string pattern = base + "/" + prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    const uint32_t code = posix::SetLastErrorFromErrno(errno);
    throw EWin32Error("Cannot create a temporary directory below " + base, code);
  }
  return buffer.data();
}

bool SetCurrentDirectory(const std::string& path) {
  return chdir(path.c_str()) == 0 || Fail();
}

std::string GetCurrentDirectory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      Fail();
      return std::string();
    }
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace qv::platform
