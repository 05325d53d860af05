// The control dispatcher of a service process. Signals are caught by a handler that only writes the
// signal's number into a pipe, whichever thread the system picks for them; the dispatcher's thread
// reads the pipe and gives the controls to the service's handler. The same pipe wakes the dispatcher
// when the service's main function has returned or its handler was registered.
//
// The run lock is taken and the first record (start pending) written before the main function runs.
// Controls that come before the handler is registered wait for it. The process-wide objects' threads
// exist before the dispatcher and may receive the signals as well, which is why the handler does no
// more than write to the pipe.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/os/unique_fd_posix.h"
#include "platform/services/service_dispatcher.h"
#include "platform/services/service_entry_posix.h"
#include "platform/services/service_run_state_posix.h"
#include "platform/services/systemd_integration_posix.h"
#include "platform/text/text_compare.h"

namespace qv::platform {

namespace {

constexpr unsigned char kWake = 0;
constexpr int kControlSignals[] = {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP};
constexpr uintptr_t kStatusHandle = 1;

// Written by the signal handler; set before the handlers are installed and cleared after they are gone.
std::atomic<int> g_signal_pipe{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads it");

void OnControlSignal(int signal_number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(signal_number);
  [[maybe_unused]] const ssize_t written = write(g_signal_pipe.load(), &byte, 1);
  errno = saved;
}

const char* StateText(uint32_t state) {
  switch (state) {
    case SERVICE_STOPPED:
      return "Stopped";
    case SERVICE_START_PENDING:
      return "Starting";
    case SERVICE_STOP_PENDING:
      return "Stopping";
    case SERVICE_RUNNING:
      return "Running";
    case SERVICE_CONTINUE_PENDING:
      return "Continuing";
    case SERVICE_PAUSE_PENDING:
      return "Pausing";
    case SERVICE_PAUSED:
      return "Paused";
    default:
      return "";
  }
}

// The one dispatcher of the process.
class Dispatcher {
 public:
  static std::mutex& InstanceMutex() {
    static std::mutex mutex;
    return mutex;
  }
  static Dispatcher*& Instance() {
    static Dispatcher* instance = nullptr;
    return instance;
  }

  Dispatcher(std::string name, std::string run_directory)
      : name_(std::move(name)), run_directory_(std::move(run_directory)) {
    record_.ProcessId = static_cast<uint32_t>(getpid());
    record_.Status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    record_.Status.dwCurrentState = SERVICE_START_PENDING;
  }

  const std::string& Name() const { return name_; }

  bool Open() {
    // A text of an earlier run says nothing of this one.
    posix::WriteServiceStatusText(run_directory_, std::string());
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
      posix::SetLastErrorFromErrno(errno);
      return false;
    }
    read_end_.reset(fds[0]);
    write_end_.reset(fds[1]);
    std::lock_guard lock(mutex_);
    return WriteRecordLocked();
  }

  bool Register(HandlerFunctionEx handler) {
    {
      std::lock_guard lock(mutex_);
      handler_ = std::move(handler);
    }
    Wake();
    return true;
  }

  bool SetStatus(const SERVICE_STATUS& status) {
    std::string notification;
    {
      std::lock_guard lock(mutex_);
      record_.Status = status;
      if (!WriteRecordLocked()) return false;
      // A stopped service goes on showing why it stopped, when it said so.
      notification =
          std::string("STATUS=") + (status.dwCurrentState == SERVICE_STOPPED && !status_text_.empty()
                                        ? status_text_
                                        : StateText(status.dwCurrentState));
      if (status.dwCurrentState == SERVICE_RUNNING && !ready_notified_) {
        notification += "\nREADY=1";
        ready_notified_ = true;
      }
      if (status.dwCurrentState == SERVICE_STOP_PENDING) notification += "\nSTOPPING=1";
      const bool pending =
          status.dwCurrentState == SERVICE_START_PENDING || status.dwCurrentState == SERVICE_STOP_PENDING ||
          status.dwCurrentState == SERVICE_PAUSE_PENDING || status.dwCurrentState == SERVICE_CONTINUE_PENDING;
      // systemd's start and stop time-outs grow by what the service announces.
      if (pending && status.dwWaitHint != 0)
        notification += "\nEXTEND_TIMEOUT_USEC=" + std::to_string(uint64_t{status.dwWaitHint} * 1000);
      if (status.dwCurrentState == SERVICE_STOPPED) stopped_reported_ = true;
    }
    posix::NotifySystemd(notification);
    return true;
  }

  void SetStatusText(const std::string& text) {
    {
      std::lock_guard lock(mutex_);
      status_text_ = text;
      // For the manager's clients (qvanctl sc start tells why a start failed); a text that cannot be
      // kept still goes to systemd.
      posix::WriteServiceStatusText(run_directory_, text);
    }
    posix::NotifySystemd("STATUS=" + text);
  }

  void MainReturned() {
    {
      std::lock_guard lock(mutex_);
      main_returned_ = true;
    }
    Wake();
  }

  int SignalPipe() const { return write_end_.get(); }

  // Hands controls to the handler until the main function has returned.
  void Loop() {
    for (;;) {
      struct pollfd wait = {read_end_.get(), POLLIN, 0};
      if (poll(&wait, 1, -1) < 0 && errno != EINTR) break;
      unsigned char bytes[64];
      for (;;) {
        const ssize_t got = read(read_end_.get(), bytes, sizeof(bytes));
        if (got <= 0) break;
        for (ssize_t i = 0; i < got; ++i)
          if (bytes[i] != kWake) pending_.push_back(ControlOfSignal(bytes[i]));
      }
      HandlerFunctionEx handler;
      {
        std::lock_guard lock(mutex_);
        if (main_returned_) break;
        handler = handler_;
      }
      // Controls that came before the service registered its handler wait for it.
      if (!handler) continue;
      while (!pending_.empty()) {
        const uint32_t control = pending_.front();
        pending_.pop_front();
        handler(control, 0);
        std::lock_guard lock(mutex_);
        ++record_.ControlsTaken;
        WriteRecordLocked();
      }
    }
  }

  // After the main function: a service that did not say it stopped has ended all the same.
  void Finish() {
    std::lock_guard lock(mutex_);
    if (stopped_reported_) return;
    record_.Status.dwCurrentState = SERVICE_STOPPED;
    record_.Status.dwControlsAccepted = 0;
    record_.Status.dwCheckPoint = 0;
    record_.Status.dwWaitHint = 0;
    record_.Status.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
    WriteRecordLocked();
    posix::NotifySystemd("STATUS=" + (status_text_.empty() ? std::string("Stopped") : status_text_));
  }

 private:
  static uint32_t ControlOfSignal(unsigned char signal_number) {
    switch (signal_number) {
      case SIGUSR1:
        return SERVICE_CONTROL_PAUSE;
      case SIGUSR2:
        return SERVICE_CONTROL_CONTINUE;
      case SIGHUP:  // "reload": a daemon's settings may have changed
        return SERVICE_CONTROL_PARAMCHANGE;
      default:
        // systemd stops every service with SIGTERM, also when the system goes down.
        return posix::UnderSystemdNotify() && posix::SystemIsShuttingDown() ? SERVICE_CONTROL_SHUTDOWN
                                                                            : SERVICE_CONTROL_STOP;
    }
  }

  void Wake() {
    const unsigned char byte = kWake;
    [[maybe_unused]] const ssize_t written = write(write_end_.get(), &byte, 1);
  }

  bool WriteRecordLocked() { return posix::WriteServiceRecord(run_directory_, record_); }

  const std::string name_;
  const std::string run_directory_;
  posix::UniqueFd read_end_;
  posix::UniqueFd write_end_;
  std::deque<uint32_t> pending_;  // the dispatcher's thread only

  std::mutex mutex_;
  posix::ServiceRecord record_;
  HandlerFunctionEx handler_;
  std::string status_text_;
  bool ready_notified_ = false;
  bool stopped_reported_ = false;
  bool main_returned_ = false;
};

// Installs the signal handlers for its lifetime.
class ControlSignals {
 public:
  explicit ControlSignals(int pipe) {
    g_signal_pipe = pipe;
    struct sigaction action = {};
    action.sa_handler = OnControlSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kControlSignals); ++i)
      sigaction(kControlSignals[i], &action, &previous_[i]);
  }
  ControlSignals(const ControlSignals&) = delete;
  ControlSignals& operator=(const ControlSignals&) = delete;
  ~ControlSignals() {
    for (size_t i = 0; i < std::size(kControlSignals); ++i)
      sigaction(kControlSignals[i], &previous_[i], nullptr);
    g_signal_pipe = -1;
  }

 private:
  struct sigaction previous_[std::size(kControlSignals)];
};

}  // namespace

bool StartServiceCtrlDispatcher(const std::vector<SERVICE_TABLE_ENTRY>& table) {
  if (table.size() != 1 || table.front().lpServiceName.empty() || !table.front().lpServiceProc)
    return FailWith(ERROR_INVALID_PARAMETER);
  const SERVICE_TABLE_ENTRY& service = table.front();
  std::string run_directory;
  if (!posix::EnsureServiceRunDirectory(service.lpServiceName, &run_directory)) return false;
  posix::ServiceRunLock run_lock;
  if (!run_lock.Acquire(run_directory)) return false;

  Dispatcher dispatcher(service.lpServiceName, run_directory);
  {
    std::lock_guard lock(Dispatcher::InstanceMutex());
    if (Dispatcher::Instance() != nullptr) return FailWith(ERROR_BUSY);
    if (!dispatcher.Open()) return false;
    Dispatcher::Instance() = &dispatcher;
  }
  {
    const ControlSignals signals(dispatcher.SignalPipe());
    std::thread main_thread;
    try {
      main_thread = std::thread([&dispatcher, &service] {
        service.lpServiceProc({service.lpServiceName});
        dispatcher.MainReturned();
      });
    } catch (const std::system_error&) {
      std::lock_guard lock(Dispatcher::InstanceMutex());
      Dispatcher::Instance() = nullptr;
      return FailWith(ERROR_SERVICE_NO_THREAD);
    }
    dispatcher.Loop();
    main_thread.join();
    dispatcher.Finish();
  }
  {
    std::lock_guard lock(Dispatcher::InstanceMutex());
    Dispatcher::Instance() = nullptr;
  }
  // An entry marked for deletion while the service ran goes now that it has stopped.
  posix::ServiceEntry entry;
  if (posix::ReadServiceEntry(service.lpServiceName, &entry) == ERROR_SUCCESS && entry.MarkedForDelete)
    posix::DeleteServiceEntry(service.lpServiceName);
  run_lock.Release();
  return true;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerEx(const std::string& service_name,
                                                   HandlerFunctionEx handler) {
  std::lock_guard lock(Dispatcher::InstanceMutex());
  Dispatcher* dispatcher = Dispatcher::Instance();
  if (dispatcher == nullptr || CompareTextIgnoreCase(dispatcher->Name(), service_name) != 0) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return SERVICE_STATUS_HANDLE{};
  }
  dispatcher->Register(std::move(handler));
  return static_cast<SERVICE_STATUS_HANDLE>(kStatusHandle);
}

bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
  if (status.dwCurrentState < SERVICE_STOPPED || status.dwCurrentState > SERVICE_PAUSED)
    return FailWith(ERROR_INVALID_DATA);
  std::lock_guard lock(Dispatcher::InstanceMutex());
  Dispatcher* dispatcher = Dispatcher::Instance();
  if (dispatcher == nullptr || handle != static_cast<SERVICE_STATUS_HANDLE>(kStatusHandle))
    return FailWith(ERROR_INVALID_HANDLE);
  return dispatcher->SetStatus(status);
}

bool SetServiceStatusText(SERVICE_STATUS_HANDLE handle, const std::string& text) {
  std::lock_guard lock(Dispatcher::InstanceMutex());
  Dispatcher* dispatcher = Dispatcher::Instance();
  if (dispatcher == nullptr || handle != static_cast<SERVICE_STATUS_HANDLE>(kStatusHandle))
    return FailWith(ERROR_INVALID_HANDLE);
  // One line: systemd ends a notification's field at a line break.
  std::string line = text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  dispatcher->SetStatusText(line);
  return true;
}

}  // namespace qv::platform
