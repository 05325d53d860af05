// GetFileVersionInfoSize and GetFileVersionInfo over each platform's ReadVersionResource.
#include "platform/resources/file_version.h"

#include <algorithm>
#include <vector>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/resources/version_resource.h"

namespace qv::platform {

uint32_t GetFileVersionInfoSize(const std::string& path) {
  std::vector<uint8_t> resource;
  if (!ReadVersionResource(path, &resource)) return 0;
  if (resource.empty()) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return static_cast<uint32_t>(resource.size());
}

bool GetFileVersionInfo(const std::string& path, std::span<uint8_t> data) {
  std::vector<uint8_t> resource;
  if (!ReadVersionResource(path, &resource)) return false;
  std::copy_n(resource.begin(), std::min(resource.size(), data.size()), data.begin());
  return true;
}

}  // namespace qv::platform
