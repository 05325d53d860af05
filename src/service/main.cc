// quorvane, the service program. With INSTALL or UNINSTALL (after "/" or "-", in any letter case;
// SILENT keeps the message of success quiet) it installs or removes the service; otherwise it runs as
// the service in the foreground until the service is stopped. Whatever leaves main ends the program
// with one line on standard error and exit code 1: under systemd the journal keeps the line, under
// qvanctl sc start the service's console.log.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "service/process_objects.h"
#include "service/quorvane_service.h"
#include "service/service_application.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  try {
    // Made before the service application and gone after it; a failure here (the settings, the
    // event source) ends the program.
    const qv::ProcessObjects process_objects;
    qv::TServiceApplication application(arguments, std::cout, std::cerr);
    application.Initialize();
    application.CreateService<qv::TQuorvane>();
    return application.Run();
  } catch (const std::exception& error) {
    std::cerr << "quorvane: " << error.what() << std::endl;
    return 1;
  }
}
