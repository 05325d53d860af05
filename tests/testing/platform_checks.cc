#include "testing/platform_checks.h"

#include <iostream>

#include "platform/host_system.h"

namespace qv::testing {

bool SkipUnderWine(const std::string& check) {
  if (!platform::RunsUnderWine()) return false;
  std::cout << "[  WINE    ] skipped: " << check << std::endl;
  return true;
}

bool SkipOnWindows(const std::string& check) {
  if (!platform::RunsOnWindows()) return false;
  std::cout << "[ WINDOWS  ] skipped: " << check << std::endl;
  return true;
}

}  // namespace qv::testing
