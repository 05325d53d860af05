// TQuorvane: the service object. It owns the connection server and switches it on at start (after
// the start-up checks of the messaging library and the information store) and on continue, and off
// at stop and pause; every transition and every failure goes to the event log and the trace in fixed
// words; a failed start also tells its cause in one line on standard error and to the manager.
// Installation takes the account from the command line, writes the service's description, registers
// the event source and, when no information store is registered, the calendar store's program;
// removal stops a service that is still up and removes description and event source again, and then
// the key an earlier installation wrote the description into.
#pragma once

#include <memory>
#include <string>

#include "service/service.h"

namespace qv {

class TSocketSrv;

class TQuorvane : public TService {
 public:
  static constexpr const char* kServiceName = "Quorvane";
  static constexpr const char* kDisplayName = "Quorvane";

  TQuorvane();
  ~TQuorvane() override;

  // The handlers, bound to the framework's events by the constructor.
  void ServiceCreate(TService& Sender);
  void ServiceDestroy(TService& Sender);
  void ServiceStart(TService& Sender, bool& Started);
  void ServiceStop(TService& Sender, bool& Stopped);
  void ServicePause(TService& Sender, bool& Paused);
  void ServiceContinue(TService& Sender, bool& Continued);
  // A change of parameters (SIGHUP on Linux): the settings are a snapshot of the start, so it only
  // says so in the trace (level 2); the service goes on as it is.
  void ServiceParamChange(TService& Sender);
  void ServiceBeforeInstall(TService& Sender);
  void ServiceAfterInstall(TService& Sender);
  void ServiceBeforeUninstall(TService& Sender);
  void ServiceAfterUninstall(TService& Sender);

 private:
  // Stop, pause and continue: the server switched, event 1 with the state word and "Qvan " + word at
  // level 2; a failure gives event 100 and its message at level 1, and the control fails.
  void SwitchServer(bool active, const char* state_word, bool& succeeded);
  // A failed start: its cause as one line on standard error and as the status text.
  void RefuseStart(const std::string& cause);

  std::unique_ptr<TSocketSrv> SocketSrv;
};

// The command line's account prefixes that installation reads (compared case-sensitively).
constexpr const char* kServiceStartNamePrefix = "/ServiceStartName=";
constexpr const char* kPasswordPrefix = "/Password=";

}  // namespace qv
