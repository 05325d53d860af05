// Running the scripts of the end-to-end harness (tests/e2e/) and reading the reports they write.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors/exception.h"

namespace qv::testing {

// The harness could not do its part: a script did not run, the gateway did not come up, a fetch got
// no reply at all.
QV_EXCEPTION_CLASS(EWapHarnessError, Exception);

// The path of a script of the harness: tests/e2e/NAME in the source tree.
std::string E2eScript(const std::string& name);

// Runs the script with the arguments to its end and gives its exit code. Raises EWapHarnessError
// when it cannot be started.
uint32_t RunE2eScript(const std::string& name, const std::vector<std::string>& arguments);

// The lines of a report file, each "key: value", as pairs in their order. Raises EWapHarnessError
// when the file cannot be read.
std::vector<std::pair<std::string, std::string>> ReadReport(const std::string& path);

}  // namespace qv::testing
