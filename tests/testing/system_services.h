// For the Windows tests of the system's own service control manager: programs of the build named as
// Windows names them, a service opened by name, a wait for a state, and an entry removed whatever
// state its service is in.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock/clock.h"
#include "platform/process/process.h"
#include "platform/services/service_control.h"

namespace qv::testing {

// A file of the build as Windows names it: the cross build gives the path of the build machine,
// which Wine shows as drive Z:.
inline std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

inline platform::ServiceHandle OpenSystemService(const std::string& name,
                                                 uint32_t access = platform::SERVICE_ALL_ACCESS) {
  const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_CONNECT));
  return platform::ServiceHandle(platform::OpenService(manager.Get(), name, access));
}

// Waits up to 20 s until the service reports the state; the last status read (all zero when it
// cannot be read).
inline platform::SERVICE_STATUS_PROCESS WaitForServiceState(const platform::ServiceHandle& service,
                                                            uint32_t state) {
  platform::SERVICE_STATUS_PROCESS status{};
  const uint32_t start = platform::GetTickCount();
  while (service && platform::QueryServiceStatusEx(service.Get(), &status) &&
         status.dwCurrentState != state && platform::GetTickCount() - start < 20000)
    platform::Sleep(20);
  return status;
}

// Stops the service when it runs (ending its process when it does not stop) and deletes its entry.
inline void RemoveSystemService(const std::string& name) {
  const platform::ServiceHandle service = OpenSystemService(name);
  if (!service) return;
  platform::SERVICE_STATUS_PROCESS status{};
  if (platform::QueryServiceStatusEx(service.Get(), &status) &&
      status.dwCurrentState != platform::SERVICE_STOPPED) {
    platform::SERVICE_STATUS ignored;
    platform::ControlService(service.Get(), platform::SERVICE_CONTROL_STOP, &ignored);
    status = WaitForServiceState(service, platform::SERVICE_STOPPED);
    if (status.dwCurrentState != platform::SERVICE_STOPPED && status.dwProcessId != 0) {
      platform::TerminateProcessById(status.dwProcessId, 1);
      WaitForServiceState(service, platform::SERVICE_STOPPED);
    }
  }
  platform::DeleteService(service.Get());
}

}  // namespace qv::testing
