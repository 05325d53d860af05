#include "platform/services/command_line_posix.h"

#include "platform/process/environment.h"

namespace qv::platform::posix {

std::string ExpandEnvironmentText(const std::string& text) {
  std::string expanded;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find('%', at);
    if (open == std::string::npos) break;
    const size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    expanded.append(text, at, open - at);
    const std::string name = text.substr(open + 1, close - open - 1);
    const auto value = name.empty() ? std::nullopt : GetEnvironmentVariable(name);
    if (value) {
      expanded += *value;
      at = close + 1;
    } else {
      // The second % may open the next name ("100%%PATH%").
      expanded.append(text, open, close - open);
      at = close;
    }
  }
  expanded.append(text, at, std::string::npos);
  return expanded;
}

std::vector<std::string> SplitCommandLine(const std::string& command_line) {
  std::vector<std::string> words;
  size_t at = 0;
  for (;;) {
    while (at < command_line.size() && (command_line[at] == ' ' || command_line[at] == '\t')) ++at;
    if (at >= command_line.size()) break;
    std::string word;
    bool quoted = false;
    for (; at < command_line.size(); ++at) {
      const char c = command_line[at];
      if (c == '"') {
        quoted = !quoted;
      } else if (quoted && c == '\\' && at + 1 < command_line.size() && command_line[at + 1] == '"') {
        word += '"';
        ++at;
      } else if (!quoted && (c == ' ' || c == '\t')) {
        break;
      } else {
        word += c;
      }
    }
    words.push_back(word);
  }
  return words;
}

std::string QuoteCommandLineWord(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
  std::string quoted = "\"";
  for (const char c : word) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace qv::platform::posix
