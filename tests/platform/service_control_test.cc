#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/accounts/local_accounts.h"
#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/process/module.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/services/service_control.h"
#include "testing/service_sandbox.h"
#include "testing/test_service.h"

namespace qv::platform {
namespace {

using qv::testing::kTestServiceName;
using qv::testing::ServiceSandbox;
using qv::testing::TestServiceProgram;
using ::testing::HasSubstr;
using ::testing::Not;

ServiceHandle Manager() {
  return ServiceHandle(OpenSCManager("", "", SC_MANAGER_ALL_ACCESS));
}

// Creates an entry of the test service's program (or of another command line) without installing it.
ServiceHandle Create(const std::string& name, const std::string& command_line,
                     uint32_t start_type = SERVICE_DEMAND_START, const std::string& account = "") {
  const ServiceHandle manager = Manager();
  return ServiceHandle(CreateService(manager.Get(), name, name + " display", SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, start_type, SERVICE_ERROR_NORMAL,
                                     command_line, "", nullptr, "", account, ""));
}

ServiceHandle Open(const std::string& name, uint32_t access = SERVICE_ALL_ACCESS) {
  const ServiceHandle manager = Manager();
  return ServiceHandle(OpenService(manager.Get(), name, access));
}

std::string ReadFile(const std::string& path) {
  std::string content;
  EXPECT_TRUE(ReadWholeFile(path, &content)) << path;
  return content;
}

TEST(ServiceControlManager, OpensOnlyThisMachinesManager) {
  ServiceSandbox sandbox;
  for (const std::string& name :
       std::vector<std::string>{"", ".", "localhost", GetComputerName(), "\\\\" + GetComputerName()}) {
    ServiceHandle manager(OpenSCManager(name, "", SC_MANAGER_CONNECT));
    EXPECT_TRUE(manager) << "\"" << name << "\": " << GetLastError();
  }
  EXPECT_FALSE(ServiceHandle(OpenSCManager("\\\\elsewhere", "", SC_MANAGER_CONNECT)));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(ServiceHandle(OpenSCManager("", "ServicesFailed", SC_MANAGER_CONNECT)));
  EXPECT_EQ(GetLastError(), ERROR_DATABASE_DOES_NOT_EXIST);
  EXPECT_TRUE(ServiceHandle(OpenSCManager("", "servicesactive", SC_MANAGER_CONNECT)));
}

TEST(ServiceControlManager, RefusesHandlesOfTheWrongKindAndClosedOnes) {
  ServiceSandbox sandbox;
  ServiceHandle manager = Manager();
  SERVICE_STATUS status;
  EXPECT_FALSE(QueryServiceStatus(manager.Get(), &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  ServiceHandle service = Create("Plain", TestServiceProgram());
  ASSERT_TRUE(service) << GetLastError();
  EXPECT_FALSE(ServiceHandle(OpenService(service.Get(), "Plain", SERVICE_QUERY_STATUS)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  const SC_HANDLE raw = service.Release();
  EXPECT_TRUE(CloseServiceHandle(raw));
  EXPECT_FALSE(CloseServiceHandle(raw));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(QueryServiceStatus(raw, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(ServiceControlManager, CreatesEntriesAsWindowsKeepsThem) {
  ServiceSandbox sandbox;
  ASSERT_TRUE(Create("Plain", "\"/opt/my programs/svc\" -x 100%", SERVICE_AUTO_START)) << GetLastError();
  EXPECT_EQ(qv::testing::ServiceEntryValue("plain", "ImagePath"), "\"/opt/my programs/svc\" -x 100%");
  EXPECT_EQ(qv::testing::ServiceEntryValue("Plain", "ObjectName"), "LocalSystem");
  EXPECT_EQ(qv::testing::ServiceEntryValue("Plain", "DisplayName"), "Plain display");

  // Names are compared without regard to case.
  EXPECT_FALSE(Create("PLAIN", TestServiceProgram()));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_TRUE(Open("pLaIn"));
  EXPECT_FALSE(Open("Other"));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);

  for (const std::string& name : std::vector<std::string>{"", "a\\b", "a/b", std::string(257, 'x')}) {
    EXPECT_FALSE(Create(name, TestServiceProgram()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << name;
  }
  const ServiceHandle manager = Manager();
  uint32_t tag = 0;
  EXPECT_FALSE(ServiceHandle(CreateService(manager.Get(), "Grouped", "", SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                           SERVICE_ERROR_NORMAL, "/bin/true", "Group", &tag, "", "", "")));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ServiceHandle(CreateService(manager.Get(), "Driver", "", SERVICE_ALL_ACCESS,
                                           SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START, SERVICE_ERROR_NORMAL,
                                           "/bin/true", "", nullptr, "", "", "")));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  const ServiceHandle connect_only(OpenSCManager("", "", SC_MANAGER_CONNECT));
  EXPECT_FALSE(ServiceHandle(CreateService(connect_only.Get(), "Denied", "", SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                           SERVICE_ERROR_NORMAL, "/bin/true", "", nullptr, "", "", "")));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(ServiceControlManager, TakesOnlyAccountsThatCanRunAProgram) {
  ServiceSandbox sandbox;
  ASSERT_TRUE(NetUserAdd("phoneuser", "Phone-Pass1"));
  EXPECT_FALSE(Create("ByMachineAccount", "/bin/true", SERVICE_AUTO_START, ".\\phoneuser"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_ACCOUNT);
  EXPECT_FALSE(Create("ByNobody", "/bin/true", SERVICE_AUTO_START, "no-such-account-here"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_ACCOUNT);
  EXPECT_TRUE(Create("BySystem", "/bin/true", SERVICE_AUTO_START, "localsystem"));
  EXPECT_THAT(ReadFile(sandbox.UnitDirectory() + "/bysystem.service"), Not(HasSubstr("User=")));
}

TEST(ServiceControlManager, MirrorsEntriesAsSystemdUnitsAndTellsSystemctl) {
  ServiceSandbox sandbox;
  sandbox.SetEnvironment("QUORVANE_SYSTEMCTL", std::string(QV_TEST_SOURCE_DIR) + "/platform/fake-systemctl");
  sandbox.SetEnvironment("QV_FAKE_SYSTEMCTL_LOG", sandbox.Path() + "/systemctl.log");
  ServiceHandle service = Create("My Service", "\"/opt/my programs/svc\" -x 100%", SERVICE_AUTO_START);
  ASSERT_TRUE(service) << GetLastError();
  const std::string unit_path = sandbox.UnitDirectory() + "/my\\x20service.service";
  const std::string unit = ReadFile(unit_path);
  EXPECT_THAT(unit, HasSubstr("Description=My Service display\n"));
  EXPECT_THAT(unit, HasSubstr("ExecStart=\"/opt/my programs/svc\" \"-x\" \"100%%\"\n"));
  EXPECT_THAT(unit, HasSubstr("Type=notify\n"));
  EXPECT_THAT(unit, HasSubstr("Restart=on-failure\n"));
  EXPECT_THAT(unit, HasSubstr("[Install]\nWantedBy="));

  ASSERT_TRUE(DeleteService(service.Get())) << GetLastError();
  EXPECT_FALSE(FileExists(unit_path));
  std::string calls = ReadFile(sandbox.Path() + "/systemctl.log");
  // Other users than root ask their own service manager.
  for (size_t at; (at = calls.find("--user ")) != std::string::npos;) calls.erase(at, 7);
  EXPECT_EQ(calls,
            "daemon-reload\n"
            "enable my\\x20service.service\n"
            "disable my\\x20service.service\n"
            "daemon-reload\n");
  EXPECT_FALSE(Open("My Service"));
}

TEST(ServiceControlManager, ChecksTheRightsOfAHandle) {
  ServiceSandbox sandbox;
  ASSERT_TRUE(Create(kTestServiceName, TestServiceProgram()));
  ServiceHandle query_only = Open(kTestServiceName, SERVICE_QUERY_STATUS);
  ASSERT_TRUE(query_only);
  EXPECT_FALSE(StartService(query_only.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SERVICE_STATUS status;
  EXPECT_FALSE(ControlService(query_only.Get(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteService(query_only.Get()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ServiceHandle start_only = Open(kTestServiceName, SERVICE_START);
  EXPECT_FALSE(QueryServiceStatus(start_only.Get(), &status));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(ServiceControlManager, ReportsWhyAStartFailed) {
  ServiceSandbox sandbox;
  ServiceHandle missing = Create("Missing", "/no/such/program");
  ASSERT_TRUE(missing);
  EXPECT_FALSE(StartService(missing.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // A program that ends without ever running as a service.
  ServiceHandle quitter = Create("Quitter", "/bin/true");
  EXPECT_FALSE(StartService(quitter.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PROCESS_ABORTED);

  ServiceHandle disabled = Create("Disabled", TestServiceProgram(), SERVICE_DISABLED);
  EXPECT_FALSE(StartService(disabled.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DISABLED);

  ServiceHandle service = Create(kTestServiceName, TestServiceProgram());
  const char* const arguments[] = {"x"};
  EXPECT_FALSE(StartService(service.Get(), 1, arguments));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // A key that only holds values of another program (no service type) is no service to start.
  RegKey key;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\ValuesOnly", 0,
                           KEY_ALL_ACCESS, key.Receive(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.Get(), "ImagePath", REG_SZ, TestServiceProgram() + std::string(1, '\0')),
            ERROR_SUCCESS);
  ServiceHandle values_only = Open("ValuesOnly");
  ASSERT_TRUE(values_only);
  EXPECT_FALSE(StartService(values_only.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_BAD_FORMAT);
}

TEST(ServiceControlManager, AServiceThatWasKilledReadsAsAborted) {
  ServiceSandbox sandbox;
  ServiceHandle service = Create(kTestServiceName, TestServiceProgram());
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
  SERVICE_STATUS_PROCESS status;
  ASSERT_TRUE(QueryServiceStatusEx(service.Get(), &status));
  ASSERT_TRUE(TerminateProcessById(status.dwProcessId, 1));
  ASSERT_TRUE(sandbox.WaitForState(kTestServiceName, SERVICE_STOPPED));
  ASSERT_TRUE(QueryServiceStatusEx(service.Get(), &status));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
  EXPECT_EQ(status.dwProcessId, 0u);
  SERVICE_STATUS after;
  EXPECT_FALSE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &after));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  // It can be started again.
  EXPECT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
}

TEST(ServiceControlManager, RefusesControlsTheServiceCannotTakeNow) {
  ServiceSandbox sandbox;
  sandbox.SetEnvironment("QV_TEST_SERVICE_NO_PAUSE", "1");
  sandbox.SetEnvironment("QV_TEST_SERVICE_STOP", "hang");
  ServiceHandle service = Create(kTestServiceName, TestServiceProgram());
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();

  SERVICE_STATUS status;
  EXPECT_FALSE(ControlService(service.Get(), SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_EQ(status.dwControlsAccepted, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN);
  EXPECT_FALSE(ControlService(service.Get(), SERVICE_CONTROL_SHUTDOWN, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_FALSE(ControlService(service.Get(), 77, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);

  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  EXPECT_EQ(status.dwCheckPoint, 1u);
  EXPECT_EQ(status.dwWaitHint, 300u);
  EXPECT_EQ(status.dwControlsAccepted, 0u);
  EXPECT_FALSE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
}

TEST(ServiceControlManager, DeletesARunningServiceOnceItHasStopped) {
  ServiceSandbox sandbox;
  ServiceHandle service = Create(kTestServiceName, TestServiceProgram());
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
  ASSERT_TRUE(DeleteService(service.Get())) << GetLastError();
  EXPECT_FALSE(FileExists(sandbox.UnitDirectory() + "/qvtestservice.service"));
  EXPECT_FALSE(DeleteService(service.Get()));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_FALSE(Create(kTestServiceName, TestServiceProgram()));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  // Still there to be stopped.
  EXPECT_TRUE(Open(kTestServiceName));

  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
  const uint32_t start = GetTickCount();
  while (Open(kTestServiceName) && GetTickCount() - start < 10000) Sleep(10);
  EXPECT_FALSE(Open(kTestServiceName));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_TRUE(Create(kTestServiceName, TestServiceProgram())) << GetLastError();
}

}  // namespace
}  // namespace qv::platform
