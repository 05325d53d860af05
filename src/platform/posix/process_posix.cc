#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/last_error.h"
#include "platform/posix/errno_map.h"
#include "platform/process.h"
#include "platform/win_error.h"

extern char** environ;

namespace qv::platform {

ChildProcess::~ChildProcess() {
  uint32_t ignored = 0;
  if (id_ != 0) Wait(&ignored);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
  if (id_ != 0) {
    SetLastError(ERROR_BUSY);
    return false;
  }
  std::vector<std::string> texts{program};
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int result = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (result != 0) {
    posix::SetLastErrorFromErrno(result);
    return false;
  }
  id_ = pid;
  return true;
}

bool ChildProcess::Wait(uint32_t* exit_code) {
  if (id_ == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  int status = 0;
  pid_t ended = 0;
  do {
    ended = waitpid(static_cast<pid_t>(id_), &status, 0);
  } while (ended < 0 && errno == EINTR);
  id_ = 0;
  if (ended < 0) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  if (WIFEXITED(status))
    *exit_code = static_cast<uint32_t>(WEXITSTATUS(status));
  else
    *exit_code = 128 + static_cast<uint32_t>(WTERMSIG(status));
  return true;
}

bool TerminateProcessById(uint32_t process_id, uint32_t exit_code) {
  (void)exit_code;
  if (process_id == 0 || kill(static_cast<pid_t>(process_id), SIGKILL) != 0) {
    posix::SetLastErrorFromErrno(process_id == 0 ? EINVAL : errno);
    return false;
  }
  return true;
}

bool RunProgram(const std::string& program, const std::vector<std::string>& arguments, uint32_t* exit_code) {
  ChildProcess child;
  return child.Start(program, arguments) && child.Wait(exit_code);
}

}  // namespace qv::platform
