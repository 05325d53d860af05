// The version functions over our resource reader: the version resource is found like any other
// resource (VerQueryValue is the portable walk of file_version_query.cc).
#include <algorithm>
#include <vector>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/resources/file_version.h"
#include "platform/resources/program_resources.h"
#include "platform/resources/resource_format.h"

namespace qv::platform {

namespace fmt = resource_format;

namespace {

bool LoadVersionResource(const std::string& path, std::vector<uint8_t>* data) {
  return LoadProgramResource(path, kResourceTypeVersion, fmt::kVersionInfoId, kLanguageNeutral, data);
}

}  // namespace

uint32_t GetFileVersionInfoSize(const std::string& path) {
  std::vector<uint8_t> data;
  if (!LoadVersionResource(path, &data)) return 0;
  if (data.empty()) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return static_cast<uint32_t>(data.size());
}

bool GetFileVersionInfo(const std::string& path, std::span<uint8_t> data) {
  std::vector<uint8_t> resource;
  if (!LoadVersionResource(path, &resource)) return false;
  std::copy_n(resource.begin(), std::min(resource.size(), data.size()), data.begin());
  return true;
}

}  // namespace qv::platform
