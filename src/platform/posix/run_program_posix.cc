#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/errno_map.h"
#include "platform/run_program.h"

namespace qv::platform {

bool RunProgram(const std::string& program, const std::vector<std::string>& arguments, uint32_t* exit_code) {
  std::vector<std::string> texts;
  texts.reserve(arguments.size() + 1);
  texts.push_back(program);
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(texts.size() + 1);
  for (auto& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  const int spawn_error = posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (spawn_error != 0) {
    posix::SetLastErrorFromErrno(spawn_error);
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      posix::SetLastErrorFromErrno(errno);
      return false;
    }
  }
  if (WIFEXITED(status)) {
    *exit_code = static_cast<uint32_t>(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    *exit_code = 128u + static_cast<uint32_t>(WTERMSIG(status));
  } else {
    *exit_code = static_cast<uint32_t>(status);
  }
  return true;
}

}  // namespace qv::platform
