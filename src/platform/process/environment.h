// The process's environment variables.
#pragma once

#include <optional>
#include <string>

namespace qv::platform {

// The value of a variable, or nothing when it is not set.
std::optional<std::string> GetEnvironmentVariable(const std::string& name);
// Sets a variable; an absent value removes it.
void SetEnvironmentVariable(const std::string& name, const std::optional<std::string>& value);

}  // namespace qv::platform
