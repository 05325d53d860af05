// Running another program to its end, as CreateProcess followed by a wait for the process and
// GetExitCodeProcess do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::platform {

// Starts program with the arguments and waits until it ends. A program name without a path delimiter
// is looked for along PATH. The program inherits the environment, the current directory and the
// standard input, output and error. Its exit code goes to *exit_code; a program ended by a signal
// gets 128 + the signal's number, as shells report it. False with the last error set when the program
// cannot be started.
bool RunProgram(const std::string& program, const std::vector<std::string>& arguments, uint32_t* exit_code);

}  // namespace qv::platform
