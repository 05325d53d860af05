// TServiceApplication: runs a service object (service.h) as the program's work. With the switch
// INSTALL or UNINSTALL (after "/" or "-", in any letter case, INSTALL winning when both are given;
// SILENT keeps the message of success quiet) it installs or removes the service and ends; otherwise
// the program runs as the service in the foreground until the service has stopped: that is how
// systemd and the service control manager start it. While it runs, the calling thread (the program's
// main thread) dispatches its window messages, so the windows of the objects it made before (the file
// writers' error reports) are served; the dispatcher runs on a thread of its own.
//
// Installation: BeforeInstall; the account checked with a logon (a refused account or password fails);
// the service entry created with the program's full path, the account (or none) and its password, in
// its own process, started with the system, normal error control; the system's logon configuration put
// in place when missing; AfterInstall, whose failure deletes the entry again. Removal: BeforeUninstall,
// then the entry deleted, and the logon configuration that installation wrote. A failure is reported
// on standard error with the service's display name and the error's text, the program ending with 1.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "service/service.h"

namespace qv {

class TServiceApplication {
 public:
  // The program's arguments (its name left out) and where its messages go.
  TServiceApplication(std::vector<std::string> arguments, std::ostream& out, std::ostream& err);
  TServiceApplication(const TServiceApplication&) = delete;
  TServiceApplication& operator=(const TServiceApplication&) = delete;
  // Frees the service object: its OnDestroy runs first.
  ~TServiceApplication();

  void Initialize() {}

  // Creates the service object, which the application owns from now on, and runs its OnCreate.
  template <class T, class... Args>
  T& CreateService(Args&&... args) {
    auto service = std::make_unique<T>(std::forward<Args>(args)...);
    T& created = *service;
    Adopt(std::move(service));
    return created;
  }

  // Installs, removes or runs the service; the program's exit code: 0 on success, 1 when installation
  // or removal failed, when the service could not run, or when it ended with an error (a failed start).
  int Run();

  const std::vector<std::string>& Arguments() const { return arguments_; }

 private:
  void Adopt(std::unique_ptr<TService> service);
  bool HasSwitch(const std::string& name) const;
  int Install(bool silent);
  int Uninstall(bool silent);
  int RunService();

  std::vector<std::string> arguments_;
  std::ostream& out_;
  std::ostream& err_;
  std::unique_ptr<TService> service_;
};

}  // namespace qv
