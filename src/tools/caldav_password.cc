#include "tools/caldav_password.h"

#include <istream>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/console.h"
#include "tools/tool_command.h"

namespace qv::tools {

std::string ReadCalDAVPassword(bool from_stdin, ToolStreams& io, const std::string& user,
                               const std::string& url) {
  std::string password;
  if (from_stdin) {
    if (!std::getline(io.in, password)) throw EToolFailure("no password on standard input");
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
  }
  if (!platform::ReadConsolePassword("Password of " + user + " at " + url + ": ", &password)) {
    if (platform::GetLastError() == platform::ERROR_INVALID_HANDLE)
      throw EToolFailure(
          "no terminal to ask for the password: give it on standard input with --password-stdin");
    throw EToolFailure("cannot read the password from the terminal: " + LastErrorMessage());
  }
  return password;
}

}  // namespace qv::tools
