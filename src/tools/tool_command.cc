#include "tools/tool_command.h"

#include <ostream>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/text/ascii_text.h"

namespace qv::tools {

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

// "a, b or c"
std::string OperationNames(const ToolCommand& command) {
  std::string names;
  const size_t count = command.operations.size();
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " or " : ", ";
    names += command.operations[i].name;
  }
  return names;
}

const ToolOperation& FindOperation(const ToolCommand& command, const std::string& word) {
  const bool any_case = command.spelling == OptionSpelling::kWindows;
  for (const ToolOperation& operation : command.operations)
    if (word == operation.name || (any_case && AsciiLowerCase(word) == AsciiLowerCase(operation.name)))
      return operation;
  throw EUsageError("unknown " + command.noun + " \"" + word + "\"; expected " + OperationNames(command));
}

// The message in one line, whatever line breaks a lower layer put into it.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

int Run(const ToolCommand& command, const std::vector<std::string>& args, ToolStreams& io) {
  if (args.empty()) throw EUsageError("no " + command.noun + " given; expected " + OperationNames(command));
  if (args[0] == "help" || IsHelpOption(args[0], command.spelling)) {
    io.out << command.help;
    return 0;
  }
  const ToolOperation& operation = FindOperation(command, args[0]);
  const ToolArguments arguments(std::vector<std::string>(args.begin() + 1, args.end()), operation.options,
                                command.spelling);
  if (arguments.HelpAsked()) {
    io.out << command.help;
    return 0;
  }
  return operation.run(arguments, io);
}

}  // namespace

std::string LastErrorMessage() {
  return platform::SystemErrorText(platform::GetLastError());
}

int RunToolCommand(const ToolCommand& command, const std::vector<std::string>& args, ToolStreams& io) {
  try {
    return Run(command, args, io);
  } catch (const EUsageError& error) {
    io.err << command.name << ": " << OneLine(error.Message()) << " (try " << command.name << " --help)\n";
    return kUsageError;
  } catch (const std::exception& error) {
    io.err << command.name << ": " << OneLine(error.what()) << "\n";
    return kFailed;
  }
}

}  // namespace qv::tools
