// The rules every platform applies to the machine's account names and passwords before anything else
// is asked, so that both refuse the same names and passwords with the same codes.
#pragma once

#include <string>

namespace qv::platform {

// Not empty, at most 256 bytes, no NUL (a C interface would cut it short).
bool IsValidLocalAccountPassword(const std::string& password);

}  // namespace qv::platform
