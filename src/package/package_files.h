// The files of the service's installation that the Debian package carries (its systemd unit and its
// PAM file), made at package build time from the code that installation itself uses: on the
// installed system, `quorvane /INSTALL` finds the unit it would write already in place.
#pragma once

#include <string>
#include <vector>

#include "package/package_error.h"
#include "platform/services/service_package_files.h"

namespace qv::package {

// Where the package puts things.
struct PackageLayout {
  std::string program = "/usr/sbin/quorvane";
  std::string state_directory = "/var/lib/quorvane";
  std::string unit_directory = "/lib/systemd/system";
};

// The files for the service Quorvane as installed in the layout. Raises EPackageError for a program
// path with a blank, which installation would write quoted.
std::vector<platform::ServicePackageFile> QuorvanePackageFiles(const PackageLayout& layout);

// Writes each file at its path below `root` (a package's staging folder), making the folders.
// Raises EPackageError naming the file that cannot be written.
void WritePackageFiles(const std::string& root, const std::vector<platform::ServicePackageFile>& files);

}  // namespace qv::package
