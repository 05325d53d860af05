// Reading what a writer (a trace, a request log, a program) has put into its file, and waiting for it
// while the test thread dispatches its messages (the file writers' error reports come that way).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/files/file_system.h"
#include "testing/message_pump.h"

namespace qv::testing {

// The file's contents; empty when it does not exist.
inline std::string FileText(const std::string& path) {
  std::string content;
  if (!platform::ReadWholeFile(path, &content)) content.clear();
  return content;
}

// Dispatches the thread's messages and looks at the file every 10 ms until done(contents) holds;
// false when that takes longer than the time-out.
inline bool WaitForFile(const std::string& path, const std::function<bool(const std::string&)>& done,
                        uint32_t timeout_ms = 30000) {
  const uint32_t start = platform::GetTickCount();
  for (;;) {
    PumpPendingMessages();
    if (done(FileText(path))) return true;
    if (platform::GetTickCount() - start > timeout_ms) return false;
    platform::Sleep(10);
  }
}

inline bool WaitForFileText(const std::string& path, const std::string& expected,
                            uint32_t timeout_ms = 30000) {
  return WaitForFile(
      path, [&](const std::string& text) { return text == expected; }, timeout_ms);
}

// The lines of a text, each without its CR LF; a last line without CR LF counts as well.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    const size_t end = text.find("\r\n", from);
    if (end == std::string::npos) {
      lines.push_back(text.substr(from));
      break;
    }
    lines.push_back(text.substr(from, end - from));
    from = end + 2;
  }
  return lines;
}

// Number of non-overlapping occurrences of a text in another.
inline size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

}  // namespace qv::testing
