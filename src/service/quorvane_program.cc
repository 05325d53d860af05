#include "service/quorvane_program.h"

#include <exception>
#include <ostream>

#include "config/registry_object.h"
#include "exchange/deck_settings.h"
#include "service/configuration_check.h"
#include "service/process_objects.h"
#include "service/program_command_line.h"
#include "service/quorvane_service.h"
#include "service/service_application.h"
#include "support/program_version.h"

namespace qv {

int RunQuorvaneProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                       const std::function<void()>& prepare) {
  ProgramAction action = ProgramAction::kRunService;
  try {
    action = ReadProgramCommandLine(arguments);
  } catch (const ECommandLineError& error) {
    err << "quorvane: " << error.Message() << " (try quorvane --help)" << std::endl;
    return 2;
  }
  switch (action) {
    case ProgramAction::kHelp:
      out << kProgramUsage;
      return 0;
    case ProgramAction::kVersion:
      out << ProgramVersionText("quorvane");
      return 0;
    case ProgramAction::kCheck:
      return RunConfigurationCheck(out, err);
    default:
      break;
  }
  try {
    // Made before the service application and gone after it; a failure here (the settings, the
    // event source) ends the program.
    const ProcessObjects process_objects;
    if (prepare) prepare();
    TServiceApplication application(arguments, out, err);
    application.Initialize();
    application.CreateService<TQuorvane>();
    return application.Run();
  } catch (const ERegistryException& error) {
    // A setting the snapshot refused: the check names every one that is wrong.
    err << "quorvane: " << error.what() << "; run: quorvane --check" << std::endl;
    return 1;
  } catch (const ESettingError& error) {
    err << "quorvane: " << error.what() << "; run: quorvane --check" << std::endl;
    return 1;
  } catch (const std::exception& error) {
    err << "quorvane: " << error.what() << std::endl;
    return 1;
  }
}

}  // namespace qv
