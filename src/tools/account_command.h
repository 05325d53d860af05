// qvanctl account: the machine's own accounts (add, passwd, delete, disable, enable, list). A new
// password is asked twice on the terminal, or taken from the first line of standard input with
// --password-stdin.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

// Asks for a password on the terminal without echo; false when it cannot.
using PasswordPrompt = std::function<bool(const std::string& prompt, std::string* password)>;

// The subcommand's entry: passwords come from the terminal or, with --password-stdin, from io.in.
int RunAccountCommand(const std::vector<std::string>& args, ToolStreams& io);
// The same with another way of asking on the terminal (tests).
int RunAccountCommand(const std::vector<std::string>& args, ToolStreams& io, const PasswordPrompt& prompt);

}  // namespace qv::tools
