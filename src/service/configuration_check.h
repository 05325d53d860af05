// quorvane --check: tests the configuration as nginx -t does, without the service and without
// writing a setting. It reads every value under the service's key and reports names that are no
// setting, wrong types and numbers out of range, a CharSet the decks cannot name, a request log or
// trace file that cannot be written, the calendar store's registration and whether the port can be
// bound; then it prints the settings in effect.
#pragma once

#include <iosfwd>

namespace qv {

// Prints the settings in effect and what was found on out, each problem as "quorvane: <problem>" on
// err. Exit code 0 when nothing is wrong, 1 otherwise (also when the state is one this user should not
// use, see support/state_directory_check.h).
int RunConfigurationCheck(std::ostream& out, std::ostream& err);

}  // namespace qv
