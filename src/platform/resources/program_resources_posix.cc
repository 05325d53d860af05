// Program resources read from a file with positioned reads: only the headers, the directory and the
// one resource are read, never the whole program.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/os/unique_fd_posix.h"
#include "platform/resources/image_resources.h"
#include "platform/resources/program_resources.h"

namespace qv::platform {

namespace {

class FileImageBytes final : public ImageBytes {
 public:
  FileImageBytes(posix::UniqueFd file, uint64_t size) : file_(std::move(file)), size_(size) {}
  uint64_t Size() const override { return size_; }

  bool Read(uint64_t offset, void* into, size_t count) const override {
    if (offset > size_ || count > size_ - offset) return false;
    auto* bytes = static_cast<char*>(into);
    while (count > 0) {
      const ssize_t got = pread(file_.get(), bytes, count, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // an error, or the file shrank under us
      bytes += got;
      offset += static_cast<uint64_t>(got);
      count -= static_cast<size_t>(got);
    }
    return true;
  }

 private:
  posix::UniqueFd file_;
  uint64_t size_;
};

}  // namespace

bool LoadProgramResource(const std::string& path, uint16_t type, uint16_t id, uint16_t language,
                         std::vector<uint8_t>* data) {
  // Non-blocking, so that a FIFO in place of a program cannot hold the caller in open().
  posix::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  struct stat info;
  if (fstat(file.get(), &info) != 0) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    SetLastError(S_ISDIR(info.st_mode) ? ERROR_ACCESS_DENIED : ERROR_BAD_FORMAT);
    return false;
  }
  const FileImageBytes image(std::move(file), static_cast<uint64_t>(info.st_size));
  return FindImageResource(image, type, id, language, data);
}

}  // namespace qv::platform
