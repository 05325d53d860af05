#include "platform/services/service_launch_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <set>

#include "platform/accounts/accounts.h"
#include "platform/accounts/system_accounts_posix.h"
#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/os/unique_fd_posix.h"
#include "platform/text/text_compare.h"

extern char** environ;

namespace qv::platform::posix {

namespace {

bool IsLocalSystem(const std::string& object_name) {
  return object_name.empty() || CompareTextIgnoreCase(object_name, "LocalSystem") == 0 ||
         CompareTextIgnoreCase(object_name, ".\\LocalSystem") == 0;
}

// The user id of a system account named by the entry; nothing for other accounts.
std::optional<uint32_t> SystemAccountUid(const std::string& object_name) {
  Sid sid;
  std::string domain;
  SidNameUse use = SidNameUse::kUnknown;
  if (!LookupAccountName(object_name, &sid, &domain, &use) || use != SidNameUse::kUser) return std::nullopt;
  return UidOfSystemAccountSid(sid);
}

// What the launching child tells its starter through the report pipe.
struct LaunchReport {
  int32_t kind;  // kStarted: value is the process id; kFailed: value is an errno, kLogonFailed: errno
  int32_t value;
};
constexpr int32_t kStarted = 1;
constexpr int32_t kFailed = 2;
constexpr int32_t kLogonFailed = 3;

void Report(int fd, int32_t kind, int32_t value) {
  const LaunchReport report{kind, value};
  // A pipe write of this size is atomic; nothing to do when it fails.
  [[maybe_unused]] const ssize_t written = write(fd, &report, sizeof(report));
}

// Runs in the forked service process; only async-signal-safe calls until the program is executed.
[[noreturn]] void BecomeService(int report_fd, const char* program, char* const* argv, char* const* envp,
                                const char* console_file, const ServiceAccount& account, const gid_t* groups,
                                size_t group_count) {
  const int null_input = open("/dev/null", O_RDONLY);
  if (null_input >= 0 && null_input != STDIN_FILENO) {
    dup2(null_input, STDIN_FILENO);
    close(null_input);
  }
  const int console = open(console_file, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  if (console < 0) {
    Report(report_fd, kFailed, errno);
    _exit(127);
  }
  dup2(console, STDOUT_FILENO);
  dup2(console, STDERR_FILENO);
  if (console > STDERR_FILENO) close(console);
  // Nothing of the starter's goes along but the report pipe, which closes when the program starts.
  if (report_fd > 3) close_range(3, static_cast<unsigned>(report_fd) - 1, 0);
  close_range(static_cast<unsigned>(report_fd) + 1, UINT_MAX, 0);
  if (chdir("/") != 0) {
    Report(report_fd, kFailed, errno);
    _exit(127);
  }
  if (account.SwitchUser) {
    if (setgroups(group_count, groups) != 0 || setgid(account.Gid) != 0 || setuid(account.Uid) != 0) {
      Report(report_fd, kLogonFailed, errno);
      _exit(127);
    }
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGPIPE, SIGCHLD, SIGQUIT})
    sigaction(signal_number, &default_action, nullptr);
  execve(program, argv, envp);
  Report(report_fd, kFailed, errno);
  _exit(127);
}

}  // namespace

uint32_t CheckServiceAccount(const std::string& object_name, std::optional<std::string>* system_user) {
  system_user->reset();
  if (IsLocalSystem(object_name)) return ERROR_SUCCESS;
  const auto uid = SystemAccountUid(object_name);
  if (!uid) return ERROR_INVALID_SERVICE_ACCOUNT;
  SystemAccount found;
  if (!FindSystemAccount(*uid, &found)) return ERROR_INVALID_SERVICE_ACCOUNT;
  *system_user = found.Name;
  return ERROR_SUCCESS;
}

uint32_t ResolveServiceAccount(const std::string& object_name, ServiceAccount* account) {
  *account = ServiceAccount();
  if (IsLocalSystem(object_name)) return ERROR_SUCCESS;
  const auto uid = SystemAccountUid(object_name);
  if (!uid) return ERROR_SERVICE_LOGON_FAILED;
  if (geteuid() != 0) return *uid == geteuid() ? ERROR_SUCCESS : ERROR_SERVICE_LOGON_FAILED;
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(static_cast<uid_t>(*uid), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr)
    return ERROR_SERVICE_LOGON_FAILED;
  account->SwitchUser = true;
  account->Uid = found->pw_uid;
  account->Gid = found->pw_gid;
  account->UserName = found->pw_name;
  account->Home = found->pw_dir;
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  while (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
    groups.resize(static_cast<size_t>(count));
  groups.resize(static_cast<size_t>(count));
  account->Groups.assign(groups.begin(), groups.end());
  return ERROR_SUCCESS;
}

bool LaunchDetachedProcess(const std::vector<std::string>& command, const ServiceAccount& account,
                           const std::string& console_file,
                           const std::vector<std::pair<std::string, std::string>>& environment_changes,
                           uint32_t* process_id) {
  if (command.empty() || command.front().empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  // Everything the child needs is made before the fork: after it, only async-signal-safe calls.
  std::vector<std::string> argument_texts(command.begin(), command.end());
  std::vector<char*> argv;
  for (auto& text : argument_texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  std::set<std::string> changed;
  for (const auto& change : environment_changes) changed.insert(change.first);
  std::vector<std::string> environment_texts;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string text = *variable;
    if (changed.count(text.substr(0, text.find('='))) == 0) environment_texts.push_back(text);
  }
  for (const auto& [name, value] : environment_changes)
    if (!value.empty()) environment_texts.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& text : environment_texts) envp.push_back(text.data());
  envp.push_back(nullptr);

  std::vector<gid_t> groups(account.Groups.begin(), account.Groups.end());
  const std::string program = command.front();

  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  UniqueFd report_read(pipe_fds[0]);
  UniqueFd report_write(pipe_fds[1]);

  // Forked twice, so that the service belongs to no one here: it needs no reaping, and it outlives
  // the starter without becoming a zombie of it.
  const pid_t middle = fork();
  if (middle < 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  if (middle == 0) {
    close(pipe_fds[0]);
    setsid();
    const pid_t service = fork();
    if (service < 0) {
      Report(pipe_fds[1], kFailed, errno);
      _exit(1);
    }
    if (service > 0) {
      Report(pipe_fds[1], kStarted, static_cast<int32_t>(service));
      _exit(0);
    }
    BecomeService(pipe_fds[1], program.c_str(), argv.data(), envp.data(), console_file.c_str(), account,
                  groups.data(), groups.size());
  }
  report_write.reset();
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }

  int32_t started = 0;
  uint32_t failure = ERROR_SUCCESS;
  LaunchReport report;
  for (;;) {
    const ssize_t got = read(report_read.get(), &report, sizeof(report));
    if (got < 0 && errno == EINTR) continue;
    if (got != static_cast<ssize_t>(sizeof(report))) break;
    if (report.kind == kStarted)
      started = report.value;
    else if (report.kind == kLogonFailed)
      failure = ERROR_SERVICE_LOGON_FAILED;
    else
      failure = WinErrorFromErrno(report.value);
  }
  if (failure == ERROR_SUCCESS && started <= 0) failure = ERROR_PROCESS_ABORTED;
  if (failure != ERROR_SUCCESS) {
    SetLastError(failure);
    return false;
  }
  *process_id = static_cast<uint32_t>(started);
  return true;
}

bool ProcessIsAlive(uint32_t process_id) {
  if (process_id == 0) return false;
  if (kill(static_cast<pid_t>(process_id), 0) != 0 && errno == ESRCH) return false;
  std::string stat;
  if (!ReadWholeFile("/proc/" + std::to_string(process_id) + "/stat", &stat)) return true;
  // The state follows the program name in parentheses, which may itself hold ") ".
  const size_t close = stat.rfind(") ");
  return close == std::string::npos || close + 2 >= stat.size() ||
         (stat[close + 2] != 'Z' && stat[close + 2] != 'X');
}

bool HandOverFolder(const std::string& path, const ServiceAccount& account) {
  if (!account.SwitchUser) return true;
  const auto uid = static_cast<uid_t>(account.Uid);
  const auto gid = static_cast<gid_t>(account.Gid);
  if (chown(path.c_str(), uid, gid) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  // Files an earlier run under another account left behind.
  std::vector<std::string> names;
  if (!ListDirectory(path, &names)) return false;
  for (const auto& name : names) {
    if (lchown((path + "/" + name).c_str(), uid, gid) != 0) {
      SetLastErrorFromErrno(errno);
      return false;
    }
  }
  return true;
}

bool ShareStateDirectory(const std::string& path, const ServiceAccount& account) {
  if (!account.SwitchUser) return true;
  if (chown(path.c_str(), static_cast<uid_t>(-1), static_cast<gid_t>(account.Gid)) != 0 ||
      chmod(path.c_str(), 0750) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  return true;
}

}  // namespace qv::platform::posix
