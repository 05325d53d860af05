// Share modes with open file description locks: every writer holds an exclusive lock on the whole file,
// so a second writer's lock fails. The locks belong to the open file description rather than to the
// process, so two opens in one process exclude each other as two processes do. Plain readers take no
// lock and are never kept out, which is what "others may read" asks; the "shared with nobody" of a
// created file keeps out every other writer, and its owner-only permissions keep out other users.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/shared_file.h"

namespace qv::platform {

namespace {

bool LockWholeFile(int fd) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end of the file, however far it grows
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// True when someone other than this process's user and the administrator may write to the directory
// of the path (its group, others, or another owner), or when it cannot be examined.
bool OthersMayWriteDirectoryOf(const std::string& path) {
  const size_t cut = path.find_last_of('/');
  const std::string directory = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
  struct stat info;
  if (stat(directory.c_str(), &info) != 0) return true;
  return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (info.st_uid != geteuid() && info.st_uid != 0);
}

}  // namespace

bool SharedFile::OpenLocked(const std::string& path, Disposition disposition) {
  Close();
  // Never O_TRUNC: the contents may only go once the lock says nobody else is writing the file.
  int flags = O_WRONLY;
  if (disposition == Disposition::kCreateAlways) flags = O_RDWR | O_CREAT;
  if (disposition == Disposition::kCreateNew) flags = O_RDWR | O_CREAT | O_EXCL;
  // Non-blocking, so that a FIFO without a reader fails instead of waiting; a regular file ignores it.
  flags |= O_NONBLOCK;
  if (OthersMayWriteDirectoryOf(path)) flags |= O_NOFOLLOW;
  const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) {
    // CreateFile tells a file that is already there by ERROR_FILE_EXISTS.
    if (errno == EEXIST && disposition == Disposition::kCreateNew) {
      SetLastError(ERROR_FILE_EXISTS);
    } else if (errno == ENXIO) {
      SetLastError(ERROR_NOT_SUPPORTED);  // a FIFO that nobody reads, or a device that is not there
    } else {
      posix::SetLastErrorFromErrno(errno);
    }
    return false;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  if (!LockWholeFile(fd)) {
    const int error_number = errno;
    ::close(fd);
    SetLastError(posix::WinErrorFromLockErrno(error_number));
    return false;
  }
  if (disposition == Disposition::kCreateAlways && ftruncate(fd, 0) != 0) {
    const int error_number = errno;
    ::close(fd);
    posix::SetLastErrorFromErrno(error_number);
    return false;
  }
  handle_ = fd;
  return true;
}

bool SharedFile::SeekToEnd(uint64_t* position) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const off_t end = lseek(static_cast<int>(handle_), 0, SEEK_END);
  if (end < 0) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  if (position != nullptr) *position = static_cast<uint64_t>(end);
  return true;
}

bool SharedFile::Write(std::string_view data) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  while (!data.empty()) {
    const ssize_t put = ::write(static_cast<int>(handle_), data.data(), data.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      posix::SetLastErrorFromErrno(errno);
      return false;
    }
    data.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

void SharedFile::Close() {
  if (IsOpen()) ::close(static_cast<int>(std::exchange(handle_, -1)));
}

}  // namespace qv::platform
