#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <cerrno>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/process.h"

extern char** environ;

namespace qv::platform {

namespace {

uint32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
  return 128 + static_cast<uint32_t>(WTERMSIG(status));
}

// The actions that send the child's standard output and error to a file.
class OutputRedirection {
 public:
  explicit OutputRedirection(const std::string& output_file) {
    posix_spawn_file_actions_init(&actions_);
    if (output_file.empty()) return;
    posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, output_file.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO);
  }
  OutputRedirection(const OutputRedirection&) = delete;
  OutputRedirection& operator=(const OutputRedirection&) = delete;
  ~OutputRedirection() { posix_spawn_file_actions_destroy(&actions_); }
  const posix_spawn_file_actions_t* Get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& output_file) {
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
  const OutputRedirection redirection(output_file);
  const int result = posix_spawnp(&pid, program.c_str(), redirection.Get(), nullptr, argv.data(), environ);
  if (result != 0) {
    posix::SetLastErrorFromErrno(result);
    return false;
  }
  id_ = pid;
  process_id_ = static_cast<uint32_t>(pid);
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
  process_id_ = 0;
  if (ended < 0) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  *exit_code = ExitCodeOf(status);
  return true;
}

bool ChildProcess::Wait(uint32_t* exit_code, uint32_t timeout_ms) {
  if (id_ == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
    if (ended < 0 && errno == EINTR) continue;
    if (ended < 0) {
      id_ = 0;
      process_id_ = 0;
      posix::SetLastErrorFromErrno(errno);
      return false;
    }
    if (ended != 0) {
      id_ = 0;
      process_id_ = 0;
      *exit_code = ExitCodeOf(status);
      return true;
    }
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t elapsed_ms = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (elapsed_ms >= timeout_ms) {
      SetLastError(ERROR_TIMEOUT);
      return false;
    }
    const struct timespec pause = {0, 5 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

bool TerminateProcessById(uint32_t process_id, uint32_t exit_code) {
  (void)exit_code;
  if (process_id == 0 || kill(static_cast<pid_t>(process_id), SIGKILL) != 0) {
    posix::SetLastErrorFromErrno(process_id == 0 ? EINVAL : errno);
    return false;
  }
  return true;
}

}  // namespace qv::platform
