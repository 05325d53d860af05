// The version resource found like any other resource of our programs (VerQueryValue is the portable
// walk of file_version_query.cc).
#include <vector>

#include "platform/resources/program_resources.h"
#include "platform/resources/resource_format.h"
#include "platform/resources/version_resource.h"

namespace qv::platform {

bool ReadVersionResource(const std::string& path, std::vector<uint8_t>* resource) {
  return LoadProgramResource(path, kResourceTypeVersion, resource_format::kVersionInfoId, kLanguageNeutral,
                             resource);
}

}  // namespace qv::platform
