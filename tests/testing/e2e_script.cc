#include "testing/e2e_script.h"

#include "platform/errors/last_error.h"
#include "platform/files/file_system.h"
#include "platform/process/process.h"

namespace qv::testing {

std::string E2eScript(const std::string& name) {
  return std::string(QV_E2E_DIR) + "/" + name;
}

uint32_t RunE2eScript(const std::string& name, const std::vector<std::string>& arguments) {
  uint32_t exit_code = 0;
  if (!platform::RunProgram(E2eScript(name), arguments, &exit_code)) {
    throw EWapHarnessError("Cannot run " + E2eScript(name) + ": error " +
                           std::to_string(platform::GetLastError()));
  }
  return exit_code;
}

std::vector<std::pair<std::string, std::string>> ReadReport(const std::string& path) {
  std::string content;
  if (!platform::ReadWholeFile(path, &content)) throw EWapHarnessError("Cannot read the report " + path);
  std::vector<std::pair<std::string, std::string>> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(start, end - start);
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) lines.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    start = end + 1;
  }
  return lines;
}

}  // namespace qv::testing
