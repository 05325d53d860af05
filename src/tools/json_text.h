// JSON string literals for the machine-readable output of the tool.
#pragma once

#include <string>
#include <string_view>

namespace qv::tools {

// The UTF-8 text as a quoted JSON string: quotes, backslashes and control characters escaped.
std::string JsonString(std::string_view utf8);

}  // namespace qv::tools
