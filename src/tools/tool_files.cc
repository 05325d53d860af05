#include "tools/tool_files.h"

#include <istream>
#include <iterator>

#include "platform/files/file_system.h"
#include "tools/tool_command.h"

namespace qv::tools {

std::string ReadFileOrInput(const std::string& name, std::istream& in) {
  std::string content;
  if (name == "-") {
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else if (platform::DirectoryExists(name)) {
    throw EToolFailure("cannot read \"" + name + "\": it is a folder");
  } else if (!platform::ReadWholeFile(name, &content)) {
    throw EToolFailure("cannot read \"" + name + "\": " + LastErrorMessage());
  }
  return content;
}

void WriteFile(const std::string& name, const std::string& content) {
  // Exports hold calendars and settings: a new file is its owner's alone.
  if (!platform::WriteWholeFile(name, content, /*owner_only=*/true))
    throw EToolFailure("cannot write \"" + name + "\": " + LastErrorMessage());
}

}  // namespace qv::tools
