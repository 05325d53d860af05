// A sandbox for tests that install and run services: a fresh state directory, the systemd unit and
// PAM folders redirected into it, no package's units, systemd never asked, and the test service's log
// in it. Environment variables set through the sandbox are restored when it goes; so are services
// still running, which are stopped (and killed when they do not stop) before the directory is deleted.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/services/service_control.h"
#include "testing/test_state_dir.h"

namespace qv::testing {

class ServiceSandbox {
 public:
  ServiceSandbox();
  ServiceSandbox(const ServiceSandbox&) = delete;
  ServiceSandbox& operator=(const ServiceSandbox&) = delete;
  ~ServiceSandbox();

  const std::string& Path() const { return state_dir_.Path(); }
  std::string UnitDirectory() const { return state_dir_.File("units"); }
  std::string PamDirectory() const { return state_dir_.File("pam.d"); }
  std::string LogFile() const { return state_dir_.File("service.log"); }
  // The lines the test service has logged so far.
  std::vector<std::string> LogLines() const;

  // Sets an environment variable (nothing: removes it) until the sandbox goes.
  void SetEnvironment(const std::string& name, const std::optional<std::string>& value);
  // Services to stop at the end besides the test service's default name.
  void Track(const std::string& service_name) { tracked_.push_back(service_name); }

  // Runs the test service program with the arguments and gives its exit code.
  uint32_t RunServiceProgram(const std::vector<std::string>& arguments);

  // Waits up to 10 s until the service reports the state; the last status read.
  bool WaitForState(const std::string& service_name, uint32_t state,
                    platform::SERVICE_STATUS* last = nullptr);

 private:
  void StopLeftover(const std::string& service_name);
  void WaitForServiceProcessesToEnd();

  TestStateDir state_dir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  std::vector<std::string> tracked_;
};

// Reads a REG_SZ / REG_EXPAND_SZ or REG_DWORD value of a service's entry, as text ("" when missing).
std::string ServiceEntryValue(const std::string& service_name, const std::string& value_name);

}  // namespace qv::testing
