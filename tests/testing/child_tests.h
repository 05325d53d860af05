// Several processes at once for the tests of what processes share (the registry hive, the event
// log): this test program started once per value, each running only the given test with the
// variable set to its value, and every child waited for.
#pragma once

#include <string>
#include <vector>

namespace qv::testing {

// Expects every child to start and to end with exit code 0. The variable is unset afterwards.
void RunChildTestsAtOnce(const std::string& test, const std::string& variable,
                         const std::vector<std::string>& values);

}  // namespace qv::testing
