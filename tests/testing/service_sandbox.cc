#include "testing/service_sandbox.h"

#include <sstream>

#include "platform/clock/clock.h"
#include "platform/files/file_system.h"
#include "platform/files/shared_file.h"
#include "platform/process/environment.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "testing/machine_registry.h"
#include "testing/test_service.h"

namespace qv::testing {

ServiceSandbox::ServiceSandbox() {
  platform::ForceDirectories(UnitDirectory());
  platform::ForceDirectories(PamDirectory());
  SetEnvironment("QUORVANE_SYSTEMD_UNIT_DIR", UnitDirectory());
  SetEnvironment("QUORVANE_SYSTEMD_PACKAGE_UNIT_DIR", std::nullopt);
  SetEnvironment("QUORVANE_PAM_DIR", PamDirectory());
  SetEnvironment("QUORVANE_SYSTEMCTL", "");
  SetEnvironment("QV_TEST_SERVICE_LOG", LogFile());
  for (const char* setting :
       {"QV_TEST_SERVICE_NAME", "QV_TEST_SERVICE_START", "QV_TEST_SERVICE_STOP",
        "QV_TEST_SERVICE_AFTER_INSTALL", "QV_TEST_SERVICE_NO_PAUSE", "QV_TEST_SERVICE_WAIT_HINT"})
    SetEnvironment(setting, std::nullopt);
}

ServiceSandbox::~ServiceSandbox() {
  // A hanging stop handler waits for this file.
  platform::WriteWholeFile(LogFile() + ".release", "");
  StopLeftover(kTestServiceName);
  for (const auto& name : tracked_) StopLeftover(name);
  WaitForServiceProcessesToEnd();
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
    platform::SetEnvironmentVariable(it->first, it->second);
}

void ServiceSandbox::WaitForServiceProcessesToEnd() {
  // A service reports its stop a moment before its process ends, and the process still writes its log
  // and reads the registry meanwhile. Each process holds its run folder's lock (the stand-in's
  // "services/<name>/lock", an open-file-description lock, which a share-mode writer meets) until it
  // has ended; the directory goes only after that.
  std::vector<std::string> folders;
  if (!platform::ListDirectory(state_dir_.File("services"), &folders)) return;
  for (const auto& folder : folders) {
    const std::string lock = state_dir_.File("services/" + folder + "/lock");
    const uint32_t start = platform::GetTickCount();
    for (;;) {
      platform::SharedFile probe;
      if (!platform::FileExists(lock) || probe.OpenForWriting(lock)) break;
      if (platform::GetTickCount() - start > 10000) break;
      platform::Sleep(10);
    }
  }
}

std::vector<std::string> ServiceSandbox::LogLines() const {
  std::string content;
  platform::ReadWholeFile(LogFile(), &content);
  std::vector<std::string> lines;
  std::istringstream stream(content);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

void ServiceSandbox::SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  saved_.emplace_back(name, platform::GetEnvironmentVariable(name));
  platform::SetEnvironmentVariable(name, value);
}

uint32_t ServiceSandbox::RunServiceProgram(const std::vector<std::string>& arguments) {
  uint32_t exit_code = 0xFFFF;
  if (!platform::RunProgram(TestServiceProgram(), arguments, &exit_code)) return 0xFFFF;
  return exit_code;
}

bool ServiceSandbox::WaitForState(const std::string& service_name, uint32_t state,
                                  platform::SERVICE_STATUS* last) {
  const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_CONNECT));
  const platform::ServiceHandle service(
      platform::OpenService(manager.Get(), service_name, platform::SERVICE_QUERY_STATUS));
  platform::SERVICE_STATUS status;
  const uint32_t start = platform::GetTickCount();
  for (;;) {
    if (!service || !platform::QueryServiceStatus(service.Get(), &status)) return false;
    if (last != nullptr) *last = status;
    if (status.dwCurrentState == state) return true;
    if (platform::GetTickCount() - start > 10000) return false;
    platform::Sleep(10);
  }
}

void ServiceSandbox::StopLeftover(const std::string& service_name) {
  const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_CONNECT));
  const platform::ServiceHandle service(platform::OpenService(
      manager.Get(), service_name, platform::SERVICE_QUERY_STATUS | platform::SERVICE_STOP));
  if (!service) return;
  platform::SERVICE_STATUS_PROCESS status;
  if (!platform::QueryServiceStatusEx(service.Get(), &status) ||
      status.dwCurrentState == platform::SERVICE_STOPPED)
    return;
  platform::SERVICE_STATUS ignored;
  platform::ControlService(service.Get(), platform::SERVICE_CONTROL_STOP, &ignored);
  if (WaitForState(service_name, platform::SERVICE_STOPPED)) return;
  if (platform::QueryServiceStatusEx(service.Get(), &status) && status.dwProcessId != 0)
    platform::TerminateProcessById(status.dwProcessId, 1);
  WaitForState(service_name, platform::SERVICE_STOPPED);
}

std::string ServiceEntryValue(const std::string& service_name, const std::string& value_name) {
  return MachineValue("SYSTEM\\CurrentControlSet\\Services\\" + service_name, value_name).value_or("");
}

}  // namespace qv::testing
