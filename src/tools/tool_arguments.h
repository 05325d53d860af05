// The arguments of one operation of a command-line tool: the options it knows (flags, and options that
// take a value) and the positional arguments in order. One parser for both ways the tools write
// options; the spelling rule is its parameter.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/errors/exception.h"

namespace qv::tools {

// Wrong arguments: the tools answer with the message and a hint to their help, and exit with 2.
QV_EXCEPTION_CLASS(EUsageError, Exception);

enum class OptionSpelling {
  // --name VALUE, --name=VALUE, -n VALUE, as written. "--" ends the options; any other argument that
  // begins with a dash, except "-" alone, is an option and refused when unknown.
  kDashes,
  // /name VALUE or -name VALUE in any letter case, as Windows commands take them. Only the names the
  // operation knows are options, so paths beginning with a slash stay positional; "--" and "=" are
  // nothing special.
  kWindows,
};

// The options an operation knows, by the names its messages use: "--source", "-n", "/v".
struct ToolOptions {
  std::set<std::string> flags;
  std::set<std::string> with_value;
};

// Whether the argument asks for the help text: --help or -h, and /? in the Windows spelling.
bool IsHelpOption(const std::string& arg, OptionSpelling spelling);

class ToolArguments {
 public:
  // Raises EUsageError for an unknown option, an option given twice or a value missing at the end.
  // --help or -h (and /? in the Windows spelling) among the options stops the reading: HelpAsked().
  ToolArguments(const std::vector<std::string>& args, const ToolOptions& options, OptionSpelling spelling);

  bool HelpAsked() const { return help_asked_; }
  bool Has(const std::string& option) const { return options_.count(option) != 0; }
  std::optional<std::string> Value(const std::string& option) const;
  // The value of an option the operation cannot do without; raises EUsageError "<option> is missing".
  std::string Required(const std::string& option) const;

  const std::vector<std::string>& Positional() const { return positional_; }
  // The positional arguments when there are from minimum to maximum of them; raises EUsageError with
  // the message otherwise.
  const std::vector<std::string>& Positional(size_t minimum, size_t maximum,
                                             const std::string& message) const;

 private:
  void Remember(const std::string& option, const std::string& value);

  bool help_asked_ = false;
  std::map<std::string, std::string> options_;
  std::vector<std::string> positional_;
};

}  // namespace qv::tools
