// The password of a CalDAV server's user, for the commands that ask a server as that user: the
// first line of standard input (--password-stdin), or asked on the terminal without echo.
#pragma once

#include <string>

#include "tools/qvanctl.h"

namespace qv::tools {

// Raises EToolFailure when there is no line on standard input, or no terminal to ask.
std::string ReadCalDAVPassword(bool from_stdin, ToolStreams& io, const std::string& user,
                               const std::string& url);

}  // namespace qv::tools
