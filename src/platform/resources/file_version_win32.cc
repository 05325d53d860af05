// The version resource of a program file through the system's version library
// (GetFileVersionInfoSize, GetFileVersionInfo). The system's block holds the resource followed by room
// of its own; the functions here give the resource itself, as long as its VS_VERSIONINFO says.
// VerQueryValue is the portable walk of file_version_query.cc, which keeps its promises for blocks from
// anywhere; the system's reads only the blocks its own GetFileVersionInfo made.
#include <algorithm>
#include <vector>

#include "platform/resources/file_version.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

bool ReadVersionResource(const std::string& path, std::vector<uint8_t>* resource) {
  const std::wstring wide = win32::Wide(path);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<uint8_t> block(size);
  if (!::GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return false;
  size_t length = block.size() >= 2 ? static_cast<size_t>(block[0] | (block[1] << 8)) : 0;
  if (length == 0 || length > block.size()) length = block.size();
  block.resize(length);
  *resource = std::move(block);
  return true;
}

}  // namespace

uint32_t GetFileVersionInfoSize(const std::string& path) {
  std::vector<uint8_t> resource;
  if (!ReadVersionResource(path, &resource)) return 0;
  return static_cast<uint32_t>(resource.size());
}

bool GetFileVersionInfo(const std::string& path, std::span<uint8_t> data) {
  std::vector<uint8_t> resource;
  if (!ReadVersionResource(path, &resource)) return false;
  std::copy_n(resource.begin(), std::min(resource.size(), data.size()), data.begin());
  return true;
}

}  // namespace qv::platform
