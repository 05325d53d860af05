// The frame every tool command shares: the operation its first argument names, from a table; the
// operation's options read by ToolArguments; --help; and the one mapping from errors to exit codes:
// wrong arguments (EUsageError) exit 2, failures (any other exception) exit 1, each with one line.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/errors/exception.h"
#include "tools/qvanctl.h"
#include "tools/tool_arguments.h"

namespace qv::tools {

// A failed operation: the tools answer with the message and exit with 1.
QV_EXCEPTION_CLASS(EToolFailure, Exception);

// The system's own words for the calling thread's last platform error, for failure messages that name
// what failed ("cannot read "x": No such file or directory").
std::string LastErrorMessage();

struct ToolOperation {
  std::string name;
  ToolOptions options;
  // Runs the operation; returns its exit code (0 done, or 1 for an outcome that is no failure, such
  // as a search that found nothing). Raises EUsageError or another exception instead of failing.
  std::function<int(const ToolArguments& arguments, ToolStreams& io)> run;
};

struct ToolCommand {
  std::string name;  // "qvanctl reg": every message begins with it
  std::string help;  // the usage text that --help shows
  std::string noun;  // what the operations are called in messages: "operation", "action" ...
  OptionSpelling spelling;
  std::vector<ToolOperation> operations;  // in the order the messages list them
};

// Runs the operation that args[0] names with the rest of args. Under the Windows spelling operation
// names match in any letter case. --help, -h and help in the first place, or a help option, show the
// help text on io.out.
int RunToolCommand(const ToolCommand& command, const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
