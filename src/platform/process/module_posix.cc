#include <limits.h>
#include <unistd.h>

#include <vector>

#include "platform/errors/errno_map_posix.h"
#include "platform/process/module.h"

namespace qv::platform {

std::string GetModuleFileName() {
  std::vector<char> buffer(PATH_MAX + 1);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      posix::SetLastErrorFromErrno(errno);
      return std::string();
    }
    if (static_cast<size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

char PathDelimiter() {
  return '/';
}

bool IsPathDelimiter(char c) {
  return c == '/';
}

const char* ProgramFileSuffix() {
  return "";
}

std::string GetComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) {
    posix::SetLastErrorFromErrno(errno);
    return std::string();
  }
  return name;
}

}  // namespace qv::platform
