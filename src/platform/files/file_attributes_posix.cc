#include <sys/stat.h>

#include <cerrno>

#include "platform/errors/errno_map_posix.h"
#include "platform/files/file_attributes.h"

namespace qv::platform {

uint32_t GetFileAttributes(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    posix::SetLastErrorFromErrno(errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  uint32_t attributes = 0;
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  mode_t mode = info.st_mode & 07777;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  if (chmod(path.c_str(), mode) != 0) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  return true;
}

}  // namespace qv::platform
