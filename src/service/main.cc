// quorvane, the service program. With INSTALL or UNINSTALL (after "/" or "-", in any letter case;
// SILENT keeps the message of success quiet) it installs or removes the service; otherwise it runs as
// the service in the foreground until the service is stopped.
#include <iostream>
#include <string>
#include <vector>

#include "service/quorvane_program.h"

int main(int argc, char** argv) {
  return qv::RunQuorvaneProgram(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
