#include "tools/tool_arguments.h"

#include "platform/text/ascii_text.h"

namespace qv::tools {

namespace {

// The name an argument has as an option under the spelling rule, and its value when written after "="
// (the dashes spelling only).
struct OptionWord {
  std::string name;
  std::optional<std::string> attached_value;
};

OptionWord ReadOptionWord(const std::string& arg, OptionSpelling spelling) {
  if (spelling == OptionSpelling::kWindows) {
    std::string name = AsciiLowerCase(arg);
    if (name.size() > 1 && name[0] == '-') name[0] = '/';
    return {name, std::nullopt};
  }
  const size_t equals = arg.find('=');
  if (equals == std::string::npos) return {arg, std::nullopt};
  return {arg.substr(0, equals), arg.substr(equals + 1)};
}

}  // namespace

bool IsHelpOption(const std::string& arg, OptionSpelling spelling) {
  return arg == "--help" || arg == "-h" || (spelling == OptionSpelling::kWindows && arg == "/?");
}

ToolArguments::ToolArguments(const std::vector<std::string>& args, const ToolOptions& options,
                             OptionSpelling spelling) {
  const bool dashes = spelling == OptionSpelling::kDashes;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended) {
      positional_.push_back(arg);
      continue;
    }
    const OptionWord word = ReadOptionWord(arg, spelling);
    if (options.flags.count(word.name) != 0) {
      if (word.attached_value) throw EUsageError(word.name + " takes no value");
      Remember(word.name, "");
    } else if (options.with_value.count(word.name) != 0) {
      if (word.attached_value) {
        Remember(word.name, *word.attached_value);
      } else {
        if (i + 1 >= args.size()) throw EUsageError(word.name + " needs a value");
        Remember(word.name, args[++i]);
      }
    } else if (IsHelpOption(arg, spelling)) {
      help_asked_ = true;
      return;
    } else if (dashes && arg == "--") {
      options_ended = true;
    } else if (dashes && arg.size() > 1 && arg[0] == '-') {
      throw EUsageError("unknown option \"" + arg + "\"");
    } else {
      positional_.push_back(arg);
    }
  }
}

std::optional<std::string> ToolArguments::Value(const std::string& option) const {
  const auto found = options_.find(option);
  return found == options_.end() ? std::nullopt : std::optional<std::string>(found->second);
}

std::string ToolArguments::Required(const std::string& option) const {
  const auto value = Value(option);
  if (!value) throw EUsageError(option + " is missing");
  return *value;
}

const std::vector<std::string>& ToolArguments::Positional(size_t minimum, size_t maximum,
                                                          const std::string& message) const {
  if (positional_.size() < minimum || positional_.size() > maximum) throw EUsageError(message);
  return positional_;
}

void ToolArguments::Remember(const std::string& option, const std::string& value) {
  if (!options_.emplace(option, value).second) throw EUsageError(option + " is given twice");
}

}  // namespace qv::tools
