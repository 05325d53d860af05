#include "service/quorvane_program.h"

#include <exception>
#include <ostream>

#include "service/process_objects.h"
#include "service/quorvane_service.h"
#include "service/service_application.h"

namespace qv {

int RunQuorvaneProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                       const std::function<void()>& prepare) {
  try {
    // Made before the service application and gone after it; a failure here (the settings, the
    // event source) ends the program.
    const ProcessObjects process_objects;
    if (prepare) prepare();
    TServiceApplication application(arguments, out, err);
    application.Initialize();
    application.CreateService<TQuorvane>();
    return application.Run();
  } catch (const std::exception& error) {
    err << "quorvane: " << error.what() << std::endl;
    return 1;
  }
}

}  // namespace qv
