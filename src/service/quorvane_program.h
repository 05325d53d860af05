// The whole of the service program quorvane: the process-wide objects, then the service application
// with TQuorvane, which installs, removes or runs the service as its command line says.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qv {

// Runs the program with its arguments (the program's name left out); its exit code. The command line
// is read first (service/program_command_line.h): help and the version go to out, a mistake ends it
// with "quorvane: <message> (try quorvane --help)" on err and 2, --check runs the configuration check.
// A failure while the process-wide objects are made ends it with "quorvane: <message>" on err and 1
// (a refused setting adds "; run: quorvane --check"). prepare, when given, runs once they exist (a
// program built on this one registers its own messaging library there).
int RunQuorvaneProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                       const std::function<void()>& prepare = nullptr);

}  // namespace qv
