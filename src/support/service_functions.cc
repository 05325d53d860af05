#include "support/service_functions.h"

#include "platform/clock/clock.h"
#include "platform/process/module.h"
#include "support/platform_error.h"

namespace qv {

namespace {

constexpr size_t kComputerNameBufferSize = 250;

platform::ServiceHandle OpenServiceWithAllAccess(const std::string& machine_name,
                                                 const std::string& service_name) {
  const platform::ServiceHandle manager = OpenServiceManager(machine_name);
  platform::ServiceHandle service(
      platform::OpenService(manager.Get(), service_name, platform::SERVICE_ALL_ACCESS));
  if (!service) RaiseLastPlatformError();
  return service;
}

}  // namespace

std::string GetLocalComputerName() {
  const std::string name = platform::GetComputerName();
  // The name and its terminating NUL must fit the buffer.
  if (name.size() >= kComputerNameBufferSize) return std::string();
  return name;
}

platform::ServiceHandle OpenServiceManager(const std::string& machine_name) {
  platform::ServiceHandle manager(
      platform::OpenSCManager(machine_name, std::string(), platform::SC_MANAGER_ALL_ACCESS));
  if (!manager) RaiseLastPlatformError();
  return manager;
}

bool IsServiceRunning(const std::string& machine_name, const std::string& service_name) {
  const platform::ServiceHandle service = OpenServiceWithAllAccess(machine_name, service_name);
  platform::SERVICE_STATUS status;
  return platform::QueryServiceStatus(service.Get(), &status) &&
         status.dwCurrentState == platform::SERVICE_RUNNING;
}

bool StopServiceAndWait(const std::string& machine_name, const std::string& service_name) {
  const platform::ServiceHandle service = OpenServiceWithAllAccess(machine_name, service_name);
  platform::SERVICE_STATUS status;
  if (!platform::QueryServiceStatus(service.Get(), &status)) return false;
  if (status.dwCurrentState != platform::SERVICE_STOPPED &&
      platform::ControlService(service.Get(), platform::SERVICE_CONTROL_STOP, &status) &&
      platform::QueryServiceStatus(service.Get(), &status)) {
    while (status.dwCurrentState != platform::SERVICE_STOPPED) {
      const uint32_t checkpoint = status.dwCheckPoint;
      platform::Sleep(status.dwWaitHint);
      if (!platform::QueryServiceStatus(service.Get(), &status)) break;
      // A service that made no progress within the wait it announced is not waited for any longer
      // (a check-point that went down ends the wait as well).
      if (status.dwCurrentState != platform::SERVICE_STOPPED && status.dwCheckPoint <= checkpoint) break;
    }
  }
  return status.dwCurrentState == platform::SERVICE_STOPPED;
}

}  // namespace qv
