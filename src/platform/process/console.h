// The administrator's terminal: asking for a password without showing it.
#pragma once

#include <string>

namespace qv::platform {

// Shows the prompt on the process's terminal and reads one line from it with echo switched off; the
// line end is not part of the password. The terminal's settings come back afterwards, also when the
// process is interrupted while it waits. Fails with ERROR_INVALID_HANDLE when the process has no
// terminal and ERROR_HANDLE_EOF when the input ends before a line does.
bool ReadConsolePassword(const std::string& prompt, std::string* password);

}  // namespace qv::platform
