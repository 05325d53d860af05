// The test service as a program (testing/test_service.h): installs, removes or runs it.
#include <iostream>

#include "service/service_application.h"
#include "testing/test_service.h"

int main(int argc, char** argv) {
  qv::TServiceApplication application(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  application.Initialize();
  application.CreateService<qv::testing::TestService>();
  return application.Run();
}
