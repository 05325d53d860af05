// Program resources read from a file with positioned reads, through the portable reader of the PE
// resource directory (image_resources.h): only the headers, the directory and the one resource are
// read. The file is never loaded, so a damaged or hostile file cannot run anything.
#include <utility>

#include "platform/resources/image_resources.h"
#include "platform/resources/program_resources.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

class FileImageBytes final : public ImageBytes {
 public:
  FileImageBytes(win32::UniqueHandle file, uint64_t size) : file_(std::move(file)), size_(size) {}
  uint64_t Size() const override { return size_; }

  bool Read(uint64_t offset, void* into, size_t count) const override {
    if (offset > size_ || count > size_ - offset) return false;
    auto* bytes = static_cast<char*>(into);
    while (count > 0) {
      OVERLAPPED position = {};
      position.Offset = static_cast<DWORD>(offset);
      position.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD chunk = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
      DWORD got = 0;
      if (!::ReadFile(file_.get(), bytes, chunk, &got, &position) || got == 0) return false;
      bytes += got;
      offset += got;
      count -= got;
    }
    return true;
  }

 private:
  win32::UniqueHandle file_;
  uint64_t size_;
};

}  // namespace

bool LoadProgramResource(const std::string& path, uint16_t type, uint16_t id, uint16_t language,
                         std::vector<uint8_t>* data) {
  const std::wstring wide = win32::Wide(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  win32::UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size = {};
  // Only a file on a disk: a pipe or a device in its place is not read.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size)) {
    ::SetLastError(ERROR_BAD_FORMAT);
    return false;
  }
  const FileImageBytes image(std::move(file), static_cast<uint64_t>(size.QuadPart));
  return FindImageResource(image, type, id, language, data);
}

}  // namespace qv::platform
