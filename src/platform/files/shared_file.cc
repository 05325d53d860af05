// The parts of a file with share modes that are the same on every platform: moving the open file and
// the three ways of opening it, each the platform's OpenLocked with its disposition.
#include "platform/files/shared_file.h"

#include <utility>

namespace qv::platform {

SharedFile::SharedFile(SharedFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

SharedFile& SharedFile::operator=(SharedFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

bool SharedFile::OpenForWriting(const std::string& path) {
  return OpenLocked(path, Disposition::kOpenExisting);
}

bool SharedFile::Create(const std::string& path) {
  return OpenLocked(path, Disposition::kCreateAlways);
}

bool SharedFile::CreateNew(const std::string& path) {
  return OpenLocked(path, Disposition::kCreateNew);
}

}  // namespace qv::platform
