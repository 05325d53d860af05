#include "package/package_files_program.h"

#include <utility>

#include "package/package_files.h"
#include "support/program_version.h"
#include "tools/tool_arguments.h"

namespace qv::package {

namespace {

constexpr const char* kUsage =
    "Usage: quorvane-package-files [--program PATH] [--state-dir DIR] [--unit-dir DIR] ROOT\n"
    "\n"
    "Writes the files that the service's installation puts in place, as a package carries them, below\n"
    "the folder ROOT: the systemd unit (in the unit folder) and the PAM service file\n"
    "(/etc/pam.d/quorvane), in the texts that \"quorvane /INSTALL\" run by root writes.\n"
    "\n"
    "  --program PATH    the installed service program (default /usr/sbin/quorvane)\n"
    "  --state-dir DIR   the state directory of root's installation (default /var/lib/quorvane)\n"
    "  --unit-dir DIR    the system's folder of packaged units (default /lib/systemd/system)\n";

PackageLayout ReadLayout(const tools::ToolArguments& arguments) {
  PackageLayout layout;
  for (auto [option, field] :
       {std::pair{"--program", &layout.program}, std::pair{"--state-dir", &layout.state_directory},
        std::pair{"--unit-dir", &layout.unit_directory}}) {
    if (const auto value = arguments.Value(option)) {
      if (value->empty() || value->front() != '/')
        throw tools::EUsageError(std::string(option) + " takes an absolute path");
      *field = *value;
    }
  }
  return layout;
}

}  // namespace

int RunPackageFilesProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    const tools::ToolArguments arguments(
        args, tools::ToolOptions{{"--version"}, {"--program", "--state-dir", "--unit-dir"}},
        tools::OptionSpelling::kDashes);
    if (arguments.HelpAsked()) {
      out << kUsage;
      return 0;
    }
    if (arguments.Has("--version")) {
      out << ProgramVersionText("quorvane-package-files");
      return 0;
    }
    const std::string root = arguments.Positional(1, 1, "give the staging folder ROOT")[0];
    WritePackageFiles(root, QuorvanePackageFiles(ReadLayout(arguments)));
    return 0;
  } catch (const tools::EUsageError& error) {
    err << "quorvane-package-files: " << error.Message() << " (try quorvane-package-files --help)\n";
    return 2;
  } catch (const std::exception& error) {
    err << "quorvane-package-files: " << error.what() << "\n";
    return 1;
  }
}

}  // namespace qv::package
