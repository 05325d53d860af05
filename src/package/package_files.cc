#include "package/package_files.h"

#include "platform/errors/last_error.h"
#include "platform/files/file_system.h"
#include "service/quorvane_service.h"
#include "support/win_error_text.h"

namespace qv::package {

namespace {

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

[[noreturn]] void RaiseWriteError(const std::string& path) {
  const auto code = static_cast<int32_t>(platform::GetLastError());
  throw EPackageError("cannot write \"" + path + "\": " + GetWinErrorText(code));
}

}  // namespace

std::vector<platform::ServicePackageFile> QuorvanePackageFiles(const PackageLayout& layout) {
  if (layout.program.find_first_of(" \t") != std::string::npos)
    throw EPackageError("the program's path \"" + layout.program + "\" holds a blank");
  return platform::ServicePackageFiles(TQuorvane::kServiceName, TQuorvane::kDisplayName, layout.program,
                                       layout.state_directory, layout.unit_directory);
}

void WritePackageFiles(const std::string& root, const std::vector<platform::ServicePackageFile>& files) {
  for (const auto& file : files) {
    const std::string path = root + file.Path;
    if (!platform::ForceDirectories(ParentFolder(path)) || !platform::WriteWholeFile(path, file.Text))
      RaiseWriteError(path);
  }
}

}  // namespace qv::package
