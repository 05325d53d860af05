// A service's command line (the ImagePath of its entry) as the program and its arguments. Internal to
// the POSIX service control manager.
#pragma once

#include <string>
#include <vector>

namespace qv::platform::posix {

// %NAME% replaced by the environment variable's value; names that are not set stay as written (as
// ExpandEnvironmentStrings leaves them).
std::string ExpandEnvironmentText(const std::string& text);

// Words separated by blanks; a word in double quotes may hold blanks, and \" inside it is a quote.
// A path with blanks therefore needs its quotes.
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// The program's path in quotes when it holds a blank or a quote, else as it is.
std::string QuoteCommandLineWord(const std::string& word);

}  // namespace qv::platform::posix
