// The service control manager of the system itself: entries created and deleted through it, and the
// test service started, paused, continued and stopped by it. The system's manager is shared by the
// whole machine, so every test uses service names of its own and removes its entries when it ends;
// so the tests may run side by side in one Wine prefix.
//
// These tests take the place, on Windows, of the sandbox tests of the Linux manager (which install
// services through the test's own registry and environment, which the system's manager does not
// share): entries created, opened and deleted, the rights of a handle, a disabled service and a
// missing program, the test service started, paused, continued, interrogated, stopped and started
// again, a running service deleted and then stopped, a start refused by the service itself (its own
// exit code), the check-point and wait hint of a pending stop, and the dispatcher's refusals. The test
// service takes its settings from its command line (/Set:NAME=VALUE), since the system's manager does
// not pass the starter's environment on. Not covered under Wine: a service that ends without reporting
// SERVICE_STOPPED, and the wait on a service that is slow to start.
#include <gtest/gtest.h>

#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/process/process.h"
#include "platform/services/service_control.h"
#include "platform/services/service_dispatcher.h"
#include "testing/system_services.h"
#include "testing/test_service.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

// The test service's program as the system's manager needs it: a Windows path, quoted.
std::string TestServiceCommandLine() {
  return "\"" + qv::testing::WindowsPath(qv::testing::TestServiceProgram()) + "\"";
}

ServiceHandle Manager() {
  return ServiceHandle(OpenSCManager("", "", SC_MANAGER_ALL_ACCESS));
}

ServiceHandle Open(const std::string& name, uint32_t access = SERVICE_ALL_ACCESS) {
  const ServiceHandle manager = Manager();
  return ServiceHandle(OpenService(manager.Get(), name, access));
}

SERVICE_STATUS_PROCESS WaitForState(const ServiceHandle& service, uint32_t state) {
  return qv::testing::WaitForServiceState(service, state);
}

// Entries of one test: created through it, stopped and deleted when it goes.
class ServiceEntries {
 public:
  ServiceEntries() = default;
  ServiceEntries(const ServiceEntries&) = delete;
  ServiceEntries& operator=(const ServiceEntries&) = delete;
  ~ServiceEntries() {
    for (const std::string& name : names_) Remove(name);
  }

  ServiceHandle Create(const std::string& name, const std::string& command_line,
                       uint32_t start_type = SERVICE_DEMAND_START) {
    Remove(name);  // left by an earlier run that did not end cleanly
    names_.push_back(name);
    const ServiceHandle manager = Manager();
    return ServiceHandle(CreateService(manager.Get(), name, name + " display", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, start_type, SERVICE_ERROR_NORMAL,
                                       command_line, "", nullptr, "", "", ""));
  }

 private:
  static void Remove(const std::string& name) { qv::testing::RemoveSystemService(name); }

  std::vector<std::string> names_;
};

TEST(SystemServiceControlManager, CreatesOpensAndDeletesEntries) {
  ServiceEntries entries;
  ServiceHandle service = entries.Create("QvWin32Entry", TestServiceCommandLine());
  ASSERT_TRUE(service) << GetLastError();
  SERVICE_STATUS status;
  ASSERT_TRUE(QueryServiceStatus(service.Get(), &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwServiceType & ~SERVICE_INTERACTIVE_PROCESS, SERVICE_WIN32_OWN_PROCESS);

  const ServiceHandle manager = Manager();
  EXPECT_FALSE(ServiceHandle(CreateService(
      manager.Get(), "QVWIN32ENTRY", "", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
      SERVICE_ERROR_NORMAL, TestServiceCommandLine(), "", nullptr, "", "", "")));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_TRUE(Open("qvwin32entry"));
  EXPECT_FALSE(Open("QvWin32NoSuchEntry"));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);

  // What the interface does not support is refused before the system is asked.
  uint32_t tag = 0;
  EXPECT_FALSE(ServiceHandle(CreateService(
      manager.Get(), "QvWin32Grouped", "", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, TestServiceCommandLine(), "Group", &tag, "", "", "")));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ServiceHandle(CreateService(
      manager.Get(), "QvWin32Shared", "", SERVICE_ALL_ACCESS, SERVICE_WIN32_SHARE_PROCESS,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, TestServiceCommandLine(), "", nullptr, "", "", "")));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Open("QvWin32Shared"));
  const char* const arguments[] = {"x"};
  EXPECT_FALSE(StartService(service.Get(), 1, arguments));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // A handle with only the right to query may do nothing else.
  ServiceHandle query_only = Open("QvWin32Entry", SERVICE_QUERY_STATUS);
  ASSERT_TRUE(query_only) << GetLastError();
  EXPECT_FALSE(StartService(query_only.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteService(query_only.Get()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // The entry goes once the last handle to it is closed.
  ASSERT_TRUE(DeleteService(service.Get())) << GetLastError();
  service.Close();
  EXPECT_TRUE(Open("QvWin32Entry", SERVICE_QUERY_STATUS));
  query_only.Close();
  EXPECT_FALSE(Open("QvWin32Entry"));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST(SystemServiceControlManager, RefusesToStartADisabledServiceOrAMissingProgram) {
  ServiceEntries entries;
  const ServiceHandle disabled =
      entries.Create("QvWin32Disabled", TestServiceCommandLine(), SERVICE_DISABLED);
  ASSERT_TRUE(disabled) << GetLastError();
  EXPECT_FALSE(StartService(disabled.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DISABLED);

  const ServiceHandle missing = entries.Create("QvWin32Missing", "\"C:\\no such folder\\program.exe\"");
  ASSERT_TRUE(missing) << GetLastError();
  EXPECT_FALSE(StartService(missing.Get(), 0, nullptr));
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  SERVICE_STATUS status;
  ASSERT_TRUE(QueryServiceStatus(missing.Get(), &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
}

TEST(SystemServiceControlManager, RunsTheServiceThroughItsStates) {
  ServiceEntries entries;
  const ServiceHandle service = entries.Create("QvWin32Lifecycle", TestServiceCommandLine());
  ASSERT_TRUE(service) << GetLastError();
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
  // StartService returns once the service runs.
  SERVICE_STATUS_PROCESS process;
  ASSERT_TRUE(QueryServiceStatusEx(service.Get(), &process));
  EXPECT_EQ(process.dwCurrentState, SERVICE_RUNNING);
  EXPECT_NE(process.dwProcessId, 0u);
  EXPECT_NE(process.dwControlsAccepted & SERVICE_ACCEPT_PAUSE_CONTINUE, 0u);
  EXPECT_FALSE(StartService(service.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_PAUSE, &status)) << GetLastError();
  EXPECT_EQ(WaitForState(service, SERVICE_PAUSED).dwCurrentState, SERVICE_PAUSED);
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_CONTINUE, &status)) << GetLastError();
  EXPECT_EQ(WaitForState(service, SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_INTERROGATE, &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);

  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
  process = WaitForState(service, SERVICE_STOPPED);
  EXPECT_EQ(process.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(process.dwWin32ExitCode, ERROR_SUCCESS);
  EXPECT_FALSE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);

  // And it starts again.
  EXPECT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
}

TEST(SystemServiceControlManager, DeletesARunningServiceOnceItHasStopped) {
  ServiceEntries entries;
  const ServiceHandle service = entries.Create("QvWin32Removal", TestServiceCommandLine());
  ASSERT_TRUE(service) << GetLastError();
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
  ASSERT_TRUE(DeleteService(service.Get())) << GetLastError();
  EXPECT_FALSE(DeleteService(service.Get()));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);

  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
  EXPECT_EQ(WaitForState(service, SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
}

TEST(SystemServiceControlManager, GivesTheServicesOwnReasonForAFailedStart) {
  ServiceEntries entries;
  const ServiceHandle service =
      entries.Create("QvWin32StartFails", TestServiceCommandLine() + " /Set:QV_TEST_SERVICE_START=fail");
  ASSERT_TRUE(service) << GetLastError();
  EXPECT_FALSE(StartService(service.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_SPECIFIC_ERROR);
  SERVICE_STATUS status;
  ASSERT_TRUE(QueryServiceStatus(service.Get(), &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_SPECIFIC_ERROR);
  EXPECT_EQ(status.dwServiceSpecificExitCode, 1u);
}

TEST(SystemServiceControlManager, PassesOnTheProgressOfAPendingStop) {
  qv::testing::TestStateDir state_dir;
  const std::string log = state_dir.File("service.log");
  ServiceEntries entries;
  const ServiceHandle service = entries.Create(
      "QvWin32SlowStop", TestServiceCommandLine() + " /Set:QV_TEST_SERVICE_STOP=hang" +
                             " /Set:QV_TEST_SERVICE_WAIT_HINT=4000 \"/Set:QV_TEST_SERVICE_LOG=" + log + "\"");
  ASSERT_TRUE(service) << GetLastError();
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();

  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  EXPECT_EQ(status.dwCheckPoint, 1u);
  EXPECT_EQ(status.dwWaitHint, 4000u);
  EXPECT_EQ(status.dwControlsAccepted, 0u);
  EXPECT_FALSE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);

  ASSERT_TRUE(WriteWholeFile(log + ".release", ""));
  EXPECT_EQ(WaitForState(service, SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
}

TEST(SystemServiceDispatcher, RefusesWhatItCannotRun) {
  const ServiceMainFunction main = [](const std::vector<std::string>&) {};
  EXPECT_FALSE(StartServiceCtrlDispatcher({}));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(StartServiceCtrlDispatcher({{"One", main}, {"Two", main}}));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Without a running dispatcher there is nothing to register with or report to.
  EXPECT_EQ(RegisterServiceCtrlHandlerEx("One", [](uint32_t, uint32_t) { return 0u; }),
            SERVICE_STATUS_HANDLE{});
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  SERVICE_STATUS status;
  status.dwCurrentState = SERVICE_RUNNING;
  EXPECT_FALSE(SetServiceStatus(static_cast<SERVICE_STATUS_HANDLE>(0x1234), status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  // A program that the manager did not start cannot connect to it.
  EXPECT_FALSE(StartServiceCtrlDispatcher({{"One", main}}));
  EXPECT_EQ(GetLastError(), ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
}

}  // namespace
}  // namespace qv::platform
