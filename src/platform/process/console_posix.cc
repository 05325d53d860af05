#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/os/unique_fd_posix.h"
#include "platform/process/console.h"

namespace qv::platform {

namespace {

// What a signal handler needs to give the terminal its echo back before the process ends.
volatile sig_atomic_t terminal_to_restore = -1;
struct termios saved_settings;

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreTerminalAndDie(int signal_number) {
  if (terminal_to_restore >= 0) tcsetattr(terminal_to_restore, TCSAFLUSH, &saved_settings);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Echo off for the life of the object; the ending signals restore it too.
class EchoOff {
 public:
  explicit EchoOff(int terminal) {
    if (tcgetattr(terminal, &saved_settings) != 0) return;
    struct termios quiet = saved_settings;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the line end still shows, so the next output starts on a new line
    struct sigaction action = {};
    action.sa_handler = RestoreTerminalAndDie;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &action, &previous_[i]);
    terminal_to_restore = terminal;
    if (tcsetattr(terminal, TCSAFLUSH, &quiet) == 0) terminal_ = terminal;
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  ~EchoOff() {
    if (terminal_ >= 0) tcsetattr(terminal_, TCSAFLUSH, &saved_settings);
    if (terminal_to_restore < 0) return;
    terminal_to_restore = -1;
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &previous_[i], nullptr);
  }
  bool Active() const { return terminal_ >= 0; }

 private:
  int terminal_ = -1;
  struct sigaction previous_[std::size(kEndingSignals)] = {};
};

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t done = write(fd, text.data() + written, text.size() - written);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    written += static_cast<size_t>(done);
  }
  return true;
}

}  // namespace

bool ReadConsolePassword(const std::string& prompt, std::string* password) {
  posix::UniqueFd terminal(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!terminal || !isatty(terminal.get())) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  EchoOff echo_off(terminal.get());
  if (!echo_off.Active()) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  if (!WriteAll(terminal.get(), prompt)) {
    posix::SetLastErrorFromErrno(errno);
    return false;
  }
  std::string line;
  for (;;) {
    char c = 0;
    const ssize_t got = read(terminal.get(), &c, 1);
    if (got < 0) {
      if (errno == EINTR) continue;
      posix::SetLastErrorFromErrno(errno);
      return false;
    }
    if (got == 0) {
      SetLastError(ERROR_HANDLE_EOF);
      return false;
    }
    if (c == '\n') break;
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  *password = std::move(line);
  return true;
}

}  // namespace qv::platform
