// The version resource of a program file through the system's version library
// (GetFileVersionInfoSize, GetFileVersionInfo). The system's block holds the resource followed by room
// of its own; the block read here is the resource itself, as long as its VS_VERSIONINFO says.
// VerQueryValue is the portable walk of file_version_query.cc, which keeps its promises for blocks from
// anywhere; the system's reads only the blocks its own GetFileVersionInfo made.
#include <vector>

#include "platform/resources/version_resource.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

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

}  // namespace qv::platform
