// The test service as a program (testing/test_service.h): installs, removes or runs it.
#include <iostream>

#include "platform/process/environment.h"
#include "service/service_application.h"
#include "testing/test_service.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  // "/Set:NAME=VALUE" sets one of the settings: a service that the system's manager starts does not
  // get its starter's environment, so its entry's command line carries them.
  for (const std::string& argument : arguments) {
    if (argument.rfind("/Set:", 0) != 0) continue;
    const size_t equals = argument.find('=');
    if (equals != std::string::npos)
      qv::platform::SetEnvironmentVariable(argument.substr(5, equals - 5), argument.substr(equals + 1));
  }
  qv::TServiceApplication application(arguments, std::cout, std::cerr);
  application.Initialize();
  application.CreateService<qv::testing::TestService>();
  return application.Run();
}
