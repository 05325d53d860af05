// The running program's file and the platform's path conventions.
#pragma once

#include <string>

namespace qv::platform {

// The full path of the running program's file (GetModuleFileName of the main module).
std::string GetModuleFileName();

// The character that separates the parts of a path ('/' here, '\' on Windows).
char PathDelimiter();
bool IsPathDelimiter(char c);

// What a program's file name ends with: nothing here, ".exe" on Windows.
const char* ProgramFileSuffix();

// The computer's name (GetComputerName); empty when it cannot be read.
std::string GetComputerName();

}  // namespace qv::platform
