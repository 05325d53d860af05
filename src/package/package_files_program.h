// quorvane-package-files: writes the package's files of the service's installation below a staging
// folder (debian/rules runs it). Exit 0 when written, 1 when they cannot be, 2 on a usage mistake.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qv::package {

int RunPackageFilesProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qv::package
