// quorvane, the service program. With INSTALL or UNINSTALL (after "/" or "-", in any letter case;
// SILENT keeps the message of success quiet) it installs or removes the service; --check tests the
// configuration, --help and --version say what it is; otherwise it runs as the service in the
// foreground until the service is stopped. Whatever leaves it ends the program with one line on
// standard error and exit code 1 (2 for a command line it does not take): under systemd the journal
// keeps the line, under qvanctl sc start the service's console.log.
#include <iostream>
#include <string>
#include <vector>

#include "service/quorvane_program.h"

int main(int argc, char** argv) {
  return qv::RunQuorvaneProgram(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
