// The line every program prints for --version.
#pragma once

#include <string>

namespace qv {

// "<program> (Quorvane) <version>" and a line break; the version is the project's.
std::string ProgramVersionText(const std::string& program);

}  // namespace qv
