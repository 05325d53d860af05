#include "testing/platform_checks.h"

#include <algorithm>
#include <iostream>

#include "platform/process/host_system.h"
#include "platform/text/text_compare.h"

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

std::vector<std::string> InRegistryListingOrder(std::vector<std::string> names) {
  if (!SkipUnderWine("the order of values (Wine sorts them by name)")) return names;
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return platform::FoldTextCase(a) < platform::FoldTextCase(b);
  });
  return names;
}

}  // namespace qv::testing
