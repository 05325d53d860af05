// The service program where another version of the messaging library is installed: quorvane itself,
// with the calendar store's sessions reporting the version given in QV_TEST_CDO_VERSION (the store's
// own when it is unset). The service tests run it to try the start-up check.
#include <iostream>
#include <string>
#include <vector>

#include "exchange/calendar_store_driver.h"
#include "platform/process/environment.h"
#include "service/quorvane_program.h"
#include "testing/versioned_library.h"

int main(int argc, char** argv) {
  const std::string version =
      qv::platform::GetEnvironmentVariable("QV_TEST_CDO_VERSION").value_or(qv::kCdoVersion);
  return qv::RunQuorvaneProgram(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                                [&version] { qv::testing::RegisterLibraryOfVersion(version); });
}
