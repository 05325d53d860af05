#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include <algorithm>

#include "platform/accounts/local_accounts.h"
#include "platform/accounts/logon_configuration.h"
#include "platform/clock/clock.h"
#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/event_log/event_log.h"
#include "platform/files/file_system.h"
#include "platform/process/module.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/services/service_control.h"
#include "service/service_application.h"
#include "support/service_functions.h"
#include "testing/service_sandbox.h"
#include "testing/test_service.h"

namespace qv {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace platform;
using qv::testing::kTestServiceName;
using qv::testing::ServiceEntryValue;
using qv::testing::ServiceSandbox;
using qv::testing::TestServiceProgram;

// The test service's entry opened with the given rights.
ServiceHandle OpenTestService(uint32_t access = SERVICE_ALL_ACCESS) {
  const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_ALL_ACCESS));
  return ServiceHandle(OpenService(manager.Get(), kTestServiceName, access));
}

std::string ReadFile(const std::string& path) {
  std::string content;
  EXPECT_TRUE(ReadWholeFile(path, &content)) << path;
  return content;
}

// Runs the test service's application in this process (its program is then this test program).
struct InProcessRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};
InProcessRun RunInProcess(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  InProcessRun run;
  {
    TServiceApplication application(arguments, out, err);
    application.Initialize();
    application.CreateService<qv::testing::TestService>();
    run.exit_code = application.Run();
  }
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(ServiceInstallation, WritesTheEntryTheUnitAndTheLogonConfiguration) {
  ServiceSandbox sandbox;
  ASSERT_EQ(sandbox.RunServiceProgram({"/install", "-SILENT"}), 0u);

  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "ImagePath"), TestServiceProgram());
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "ObjectName"), "LocalSystem");
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "Start"), "2");
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "Type"), "16");
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "ErrorControl"), "1");
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "DisplayName"), std::string(kTestServiceName) + " display");

  const std::string unit = ReadFile(sandbox.UnitDirectory() + "/qvtestservice.service");
  EXPECT_THAT(unit, HasSubstr("ExecStart=\"" + TestServiceProgram() + "\"\n"));
  EXPECT_THAT(unit, HasSubstr("Type=notify\n"));
  EXPECT_THAT(unit, HasSubstr("Restart=on-failure\n"));
  EXPECT_THAT(unit, HasSubstr("Environment=\"QUORVANE_STATE_DIR=" + sandbox.Path() + "\"\n"));
  EXPECT_THAT(unit, Not(HasSubstr("User=")));
  EXPECT_EQ(ReadFile(sandbox.PamDirectory() + "/quorvane"), LogonConfigurationText());
  EXPECT_THAT(sandbox.LogLines(), ElementsAre("create", "before-install", "after-install", "destroy"));

  ASSERT_EQ(sandbox.RunServiceProgram({"/UNINSTALL", "/silent"}), 0u);
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "ImagePath"), "");
  EXPECT_FALSE(FileExists(sandbox.UnitDirectory() + "/qvtestservice.service"));
  EXPECT_FALSE(FileExists(sandbox.PamDirectory() + "/quorvane"));
}

TEST(ServiceInstallation, InstallingTwiceFailsTheSecondTimeAndLeavesTheEntry) {
  ServiceSandbox sandbox;
  const InProcessRun first = RunInProcess({"/INSTALL"});
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.out, "Service installed successfully\n");
  // An administrator's change of the entry, which a second installation must not undo.
  {
    RegKey key;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE,
                           std::string("SYSTEM\\CurrentControlSet\\Services\\") + kTestServiceName, 0,
                           KEY_SET_VALUE, key.Receive()),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key.Get(), "DisplayName", REG_SZ, std::string("Changed\0", 8)), ERROR_SUCCESS);
  }
  const InProcessRun second = RunInProcess({"-install"});
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(second.err,
            std::string("Service \"") + kTestServiceName +
                " display\" failed to install with error: \"The specified service already exists.\"\n");
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "DisplayName"), "Changed");
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "ImagePath"), GetModuleFileName());
}

TEST(ServiceInstallation, AFailingAfterInstallDeletesTheEntryAgain) {
  ServiceSandbox sandbox;
  sandbox.SetEnvironment("QV_TEST_SERVICE_AFTER_INSTALL", "raise");
  const InProcessRun run = RunInProcess({"/INSTALL", "/SILENT"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_THAT(run.err, HasSubstr("failed to install with error: \"after-install refused\""));
  EXPECT_FALSE(OpenTestService());
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_FALSE(FileExists(sandbox.UnitDirectory() + "/qvtestservice.service"));
  EXPECT_FALSE(FileExists(sandbox.PamDirectory() + "/quorvane"));
}

TEST(ServiceInstallation, KeepsALogonConfigurationTheAdministratorWrote) {
  ServiceSandbox sandbox;
  ASSERT_TRUE(WriteWholeFile(sandbox.PamDirectory() + "/quorvane", "auth required pam_deny.so\n"));
  ASSERT_EQ(RunInProcess({"/INSTALL", "/SILENT"}).exit_code, 0);
  ASSERT_EQ(RunInProcess({"/UNINSTALL", "/SILENT"}).exit_code, 0);
  EXPECT_EQ(ReadFile(sandbox.PamDirectory() + "/quorvane"), "auth required pam_deny.so\n");
}

TEST(ServiceInstallation, ChecksTheAccountAndItsPasswordWithALogon) {
  ServiceSandbox sandbox;
  ASSERT_TRUE(NetUserAdd("svcacct", "Right-Pass1"));

  const InProcessRun wrong = RunInProcess({"/INSTALL", "/ServiceStartName=.\\svcacct", "/Password=wrong"});
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_THAT(wrong.err,
              HasSubstr("failed to install with error: \"The user name or password is incorrect.\""));
  EXPECT_FALSE(OpenTestService());

  const InProcessRun unknown = RunInProcess({"/INSTALL", "/ServiceStartName=nobody-here", "/Password=x"});
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_FALSE(OpenTestService());

  // The machine's own accounts log on, but have no identity of the system to run a program under.
  const InProcessRun right =
      RunInProcess({"/INSTALL", "/ServiceStartName=.\\svcacct", "/Password=Right-Pass1"});
  EXPECT_EQ(right.exit_code, 1);
  EXPECT_THAT(right.err, HasSubstr("The account name is invalid or does not exist"));
  EXPECT_FALSE(OpenTestService());
}

TEST(ServiceInstallation, IgnoresTheAccountPrefixInLowerCase) {
  ServiceSandbox sandbox;
  const InProcessRun run =
      RunInProcess({"/INSTALL", "/servicestartname=.\\nobody", "/password=x", "/SILENT"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "ObjectName"), "LocalSystem");
}

TEST(ServiceRemoval, FailsBeforeDeletingAnythingWhenTheServiceIsNotInstalled) {
  ServiceSandbox sandbox;
  const InProcessRun run = RunInProcess({"/UNINSTALL"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err,
            std::string("Service \"") + kTestServiceName +
                " display\" failed to uninstall with error: \"The specified service does not exist as an "
                "installed service.\"\n");
  EXPECT_THAT(sandbox.LogLines(), ElementsAre("create", "before-uninstall", "destroy"));
}

TEST(ServiceRemoval, ACleanUpStepThatFailsAfterTheEntryIsGoneIsAWarningOfASuccessfulRemoval) {
  ServiceSandbox sandbox;
  ASSERT_EQ(RunInProcess({"/INSTALL", "/SILENT"}).exit_code, 0);
  sandbox.SetEnvironment("QV_TEST_SERVICE_AFTER_UNINSTALL", "raise");
  const InProcessRun run = RunInProcess({"/UNINSTALL"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, std::string("Service \"") + kTestServiceName +
                         " display\" was uninstalled, with a warning: \"after-uninstall refused\"\n");
  EXPECT_EQ(run.out, "Service uninstalled successfully\n");
  EXPECT_FALSE(OpenTestService());
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_FALSE(FileExists(sandbox.PamDirectory() + "/quorvane"));
}

class RunningService : public ::testing::Test {
 protected:
  void Install() { ASSERT_EQ(sandbox_.RunServiceProgram({"/INSTALL", "/SILENT"}), 0u); }
  ServiceSandbox sandbox_;
};

TEST_F(RunningService, StartsPausesContinuesAndStopsThroughTheManager) {
  Install();
  ServiceHandle service = OpenTestService();
  ASSERT_TRUE(service);
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
  SERVICE_STATUS_PROCESS status;
  ASSERT_TRUE(QueryServiceStatusEx(service.Get(), &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(status.dwControlsAccepted,
            SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN);
  EXPECT_NE(status.dwProcessId, 0u);
  EXPECT_TRUE(IsServiceRunning("", kTestServiceName));

  EXPECT_FALSE(StartService(service.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

  SERVICE_STATUS after;
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_PAUSE, &after)) << GetLastError();
  EXPECT_THAT(after.dwCurrentState, ::testing::AnyOf(SERVICE_PAUSE_PENDING, SERVICE_PAUSED));
  if (after.dwCurrentState == SERVICE_PAUSE_PENDING) {
    EXPECT_EQ(after.dwCheckPoint, 1u);
    EXPECT_EQ(after.dwWaitHint, 300u);
  }
  ASSERT_TRUE(sandbox_.WaitForState(kTestServiceName, SERVICE_PAUSED));
  EXPECT_FALSE(IsServiceRunning("", kTestServiceName));

  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_CONTINUE, &after)) << GetLastError();
  ASSERT_TRUE(sandbox_.WaitForState(kTestServiceName, SERVICE_RUNNING));

  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &after)) << GetLastError();
  EXPECT_THAT(after.dwCurrentState, ::testing::AnyOf(SERVICE_STOP_PENDING, SERVICE_STOPPED));
  ASSERT_TRUE(sandbox_.WaitForState(kTestServiceName, SERVICE_STOPPED, &after));
  EXPECT_EQ(after.dwWin32ExitCode, 0u);
  EXPECT_EQ(after.dwControlsAccepted, 0u);

  EXPECT_FALSE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &after));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(after.dwCurrentState, SERVICE_STOPPED);

  // The process has ended once its destroy handler has run.
  const uint32_t start = GetTickCount();
  while (sandbox_.LogLines().size() < 10 && GetTickCount() - start < 10000) Sleep(10);
  EXPECT_THAT(sandbox_.LogLines(), ElementsAre("create", "before-install", "after-install", "destroy",
                                               "create", "start", "pause", "continue", "stop", "destroy"));
}

TEST_F(RunningService, AStartTheHandlerRefusesLeavesTheServiceStopped) {
  Install();
  sandbox_.SetEnvironment("QV_TEST_SERVICE_START", "fail");
  ServiceHandle service = OpenTestService();
  EXPECT_FALSE(StartService(service.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_SPECIFIC_ERROR);
  SERVICE_STATUS status;
  ASSERT_TRUE(QueryServiceStatus(service.Get(), &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_SPECIFIC_ERROR);
  EXPECT_EQ(status.dwServiceSpecificExitCode, 1u);

  // Run in the foreground, the program ends with a non-zero code and never calls the stop handler.
  uint32_t exit_code = 0;
  ASSERT_TRUE(platform::RunProgram(TestServiceProgram(), {}, &exit_code));
  EXPECT_EQ(exit_code, 1u);
  EXPECT_THAT(sandbox_.LogLines(), Not(::testing::Contains("stop")));
}

TEST_F(RunningService, AStartHandlerThatRaisesIsReportedAsAnExceptionInTheService) {
  Install();
  sandbox_.SetEnvironment("QV_TEST_SERVICE_START", "raise");
  ServiceHandle service = OpenTestService();
  EXPECT_FALSE(StartService(service.Get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_EXCEPTION_IN_SERVICE);
  std::string console;
  ASSERT_TRUE(ReadWholeFile(sandbox_.Path() + "/services/qvtestservice/console.log", &console));
  EXPECT_THAT(console, HasSubstr("Service failed on start: start refused"));

  const HEVENTLOG log = OpenEventLog("", "Application");
  ASSERT_NE(log, HEVENTLOG{});
  std::vector<EventLogRecord> records;
  ASSERT_TRUE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, 1, &records));
  CloseEventLog(log);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].SourceName, kTestServiceName);
  EXPECT_EQ(records[0].EventType, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(records[0].Strings, std::vector<std::string>{"Service failed on start: start refused"});
}

TEST_F(RunningService, RunsInTheForegroundUntilStoppedAndEndsWithZero) {
  Install();
  ChildProcess child;
  ASSERT_TRUE(child.Start(TestServiceProgram(), {}));
  ASSERT_TRUE(sandbox_.WaitForState(kTestServiceName, SERVICE_RUNNING));

  // A second instance cannot run beside it.
  uint32_t second_exit = 0;
  ASSERT_TRUE(platform::RunProgram(TestServiceProgram(), {}, &second_exit));
  EXPECT_EQ(second_exit, 1u);

  ServiceHandle service = OpenTestService();
  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
  uint32_t exit_code = 99;
  ASSERT_TRUE(child.Wait(&exit_code));
  EXPECT_EQ(exit_code, 0u);
}

TEST_F(RunningService, StopServiceAndWaitStopsARunningServiceAndLeavesAStoppedOneAlone) {
  Install();
  ServiceHandle service = OpenTestService();
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
  EXPECT_TRUE(StopServiceAndWait(GetLocalComputerName(), kTestServiceName));
  SERVICE_STATUS status;
  ASSERT_TRUE(QueryServiceStatus(service.Get(), &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);

  // The process logs its end (destroy) after it has reported the stop.
  const uint32_t start = GetTickCount();
  while (sandbox_.LogLines().back() != "destroy" && GetTickCount() - start < 10000) Sleep(10);
  const size_t logged = sandbox_.LogLines().size();
  EXPECT_TRUE(StopServiceAndWait("", kTestServiceName));
  Sleep(50);
  EXPECT_EQ(sandbox_.LogLines().size(), logged);
}

TEST_F(RunningService, StopServiceAndWaitGivesUpOnAServiceThatMakesNoProgress) {
  Install();
  sandbox_.SetEnvironment("QV_TEST_SERVICE_STOP", "hang");
  ServiceHandle service = OpenTestService();
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
  const uint32_t start = GetTickCount();
  EXPECT_FALSE(StopServiceAndWait("", kTestServiceName));
  EXPECT_LT(GetTickCount() - start, 5000u);
  SERVICE_STATUS status;
  ASSERT_TRUE(QueryServiceStatus(service.Get(), &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
}

TEST_F(RunningService, StopServiceAndWaitRaisesForAServiceThatIsNotInstalled) {
  try {
    StopServiceAndWait("", "NoSuchService");
    FAIL() << "no error raised";
  } catch (const EWin32Error& error) {
    EXPECT_EQ(error.ErrorCode, ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_STREQ(error.what(), "The specified service does not exist as an installed service.");
  }
  EXPECT_THROW(IsServiceRunning("", "NoSuchService"), EWin32Error);
}

TEST_F(RunningService, RemovingARunningServiceStopsItFirst) {
  Install();
  ServiceHandle service = OpenTestService();
  ASSERT_TRUE(StartService(service.Get(), 0, nullptr)) << GetLastError();
  service.Close();
  ASSERT_EQ(sandbox_.RunServiceProgram({"/UNINSTALL", "/SILENT"}), 0u);
  const auto lines = sandbox_.LogLines();
  const auto stop = std::find(lines.begin(), lines.end(), "stop");
  const auto stopped = std::find(lines.begin(), lines.end(), "stopped");
  EXPECT_NE(stop, lines.end());
  EXPECT_NE(stopped, lines.end());
  EXPECT_LT(std::find(lines.begin(), lines.end(), "before-uninstall"), stop);
  EXPECT_FALSE(OpenTestService());
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_FALSE(FileExists(sandbox_.UnitDirectory() + "/qvtestservice.service"));
}

}  // namespace
}  // namespace qv
