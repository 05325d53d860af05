// TService: the base of a service object. It carries the service's names, its account and the
// controls it allows, and the events through which the object takes part in installation and in the
// service's life: created, destroyed, before and after installation, before removal, start, stop,
// pause and continue. TServiceApplication (service_application.h) runs it.
//
// The transition handlers run one at a time on the service thread. Each has a Boolean out-parameter,
// true when it is called; the state it leads to is reported only when the handler leaves it true,
// otherwise the service keeps its previous state (a failed start leaves it stopped). A handler that
// raises counts as one that failed, and the failure is reported through LogMessage. There is no
// handler for shutdown: when the system goes down the service is ended without its stop handler.
//
// Running and paused accept stop (AllowStop), pause and continue (AllowPause), shutdown, and the
// change of parameters when OnParamChange is set; pending states accept none. Pause applies only when
// running, continue only when paused, stop in either; other controls are ignored. A control that the service
// thread can take at once has its pending state (check-point 1, the wait hint) reported by the control
// handler itself, so the controller hears back the pending state.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event_log/event_log.h"
#include "platform/services/service_dispatcher.h"

namespace qv {

class TService {
 public:
  using TServiceEvent = std::function<void(TService& sender)>;
  using TStartEvent = std::function<void(TService& sender, bool& Started)>;
  using TStopEvent = std::function<void(TService& sender, bool& Stopped)>;
  using TPauseEvent = std::function<void(TService& sender, bool& Paused)>;
  using TContinueEvent = std::function<void(TService& sender, bool& Continued)>;

  explicit TService(std::string name);
  TService(const TService&) = delete;
  TService& operator=(const TService&) = delete;
  virtual ~TService();

  // The service's name (its entry's key) and the name shown to people (the name when empty).
  std::string Name;
  std::string DisplayName;
  bool AllowStop = true;
  bool AllowPause = true;
  // The account the service runs under ("name" or "domain\name"; empty for the system's own service
  // account) and its password, used by installation.
  std::string ServiceStartName;
  std::string Password;
  // Milliseconds a pending state is announced to last.
  uint32_t WaitHint = 5000;
  // The exit codes reported when the service stops: a Windows error code, and the service's own code
  // (reported with ERROR_SERVICE_SPECIFIC_ERROR when only it is set). A failed start without codes of
  // its own reports ERROR_SERVICE_SPECIFIC_ERROR with 1, or ERROR_EXCEPTION_IN_SERVICE when its
  // handler raised.
  uint32_t Win32ErrCode = 0;
  uint32_t ErrCode = 0;
  // The command line's arguments (the program's name left out), set by the application.
  std::vector<std::string> Parameters;

  TServiceEvent OnCreate;
  TServiceEvent OnDestroy;
  TServiceEvent BeforeInstall;
  TServiceEvent AfterInstall;
  TServiceEvent BeforeUninstall;
  // After the entry has been deleted: clean-up whose failure leaves the service removed (the removal
  // reports success with a warning).
  TServiceEvent AfterUninstall;
  // The manager says the service's parameters have changed (SIGHUP on Linux); set, the service
  // accepts the control while it runs or is paused, and its state stays as it is.
  TServiceEvent OnParamChange;
  TStartEvent OnStart;
  TStopEvent OnStop;
  TPauseEvent OnPause;
  TContinueEvent OnContinue;

  // The state last reported (SERVICE_STOPPED before the service runs).
  uint32_t Status() const;
  // Reports the current state again; in a pending state this advances the check-point, which tells
  // the manager that a long transition is making progress.
  void ReportStatus();
  // Tells the manager in one line why the service is in its state (under systemd the status text,
  // also after the service has stopped); nothing before the service runs.
  void ReportStatusText(const std::string& text);
  // The framework's own reports (a failed start, a handler that raised): an event of the service's
  // name as its source (event 0, the message its insertion string) in the application event log, and a
  // line on standard error, which the journal keeps under systemd.
  virtual void LogMessage(const std::string& message, uint16_t type = platform::EVENTLOG_ERROR_TYPE);

  // The service's main function and its control handler, called by the platform's dispatcher. Main
  // returns once the service has stopped.
  void Main(const std::vector<std::string>& arguments);
  uint32_t Controller(uint32_t control);

  // True when the service ran and stopped without an exit code.
  bool EndedCleanly() const;

 private:
  bool Applies(uint32_t control, uint32_t state) const;
  void ReportLocked(uint32_t state);
  // Runs one transition handler on the service thread; true when it says the transition succeeded.
  bool RunHandler(const char* what, const std::function<void(bool&)>& handler);
  struct QueuedControl {
    uint32_t control;
    bool pending_reported;  // by the controller, leaving `previous`
    uint32_t previous;
  };
  void Handle(const QueuedControl& queued);

  mutable std::mutex mutex_;
  std::condition_variable controls_arrived_;
  std::deque<QueuedControl> queue_;
  bool idle_ = false;  // the service thread waits for controls
  bool ended_ = false;
  bool ran_ = false;
  uint32_t state_ = platform::SERVICE_STOPPED;
  uint32_t checkpoint_ = 0;
  platform::SERVICE_STATUS_HANDLE status_handle_{};
};

}  // namespace qv
