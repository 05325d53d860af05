// quorvane-package-files, run when the Debian package is built (package/package_files_program.h).
#include <iostream>
#include <string>
#include <vector>

#include "package/package_files_program.h"

int main(int argc, char** argv) {
  return qv::package::RunPackageFilesProgram(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                             std::cerr);
}
