#include "testing/test_service.h"

#include <fstream>

#include "platform/clock/clock.h"
#include "platform/errors/exception.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "support/service_functions.h"

namespace qv::testing {

namespace {

std::string Setting(const char* name) {
  return platform::GetEnvironmentVariable(name).value_or("");
}

}  // namespace

TestService::TestService()
    : TService(Setting("QV_TEST_SERVICE_NAME").empty() ? kTestServiceName : Setting("QV_TEST_SERVICE_NAME")),
      log_file_(Setting("QV_TEST_SERVICE_LOG")) {
  OnCreate = [this](TService&) {
    DisplayName = Name + " display";
    AllowStop = true;
    AllowPause = Setting("QV_TEST_SERVICE_NO_PAUSE").empty();
    WaitHint =
        Setting("QV_TEST_SERVICE_WAIT_HINT").empty() ? 300 : std::stoul(Setting("QV_TEST_SERVICE_WAIT_HINT"));
    Log("create");
  };
  OnDestroy = [this](TService&) { Log("destroy"); };
  BeforeInstall = [this](TService&) {
    Log("before-install");
    for (const auto& parameter : Parameters) {
      if (parameter.rfind("/ServiceStartName=", 0) == 0)
        ServiceStartName = parameter.substr(18);
      else if (parameter.rfind("/Password=", 0) == 0)
        Password = parameter.substr(10);
    }
  };
  AfterInstall = [this](TService&) {
    Log("after-install");
    if (Setting("QV_TEST_SERVICE_AFTER_INSTALL") == "raise") throw Exception("after-install refused");
  };
  BeforeUninstall = [this](TService&) {
    Log("before-uninstall");
    const std::string computer = GetLocalComputerName();
    if (IsServiceRunning(computer, Name)) Log(StopServiceAndWait(computer, Name) ? "stopped" : "not-stopped");
  };
  AfterUninstall = [this](TService&) {
    Log("after-uninstall");
    if (Setting("QV_TEST_SERVICE_AFTER_UNINSTALL") == "raise") throw Exception("after-uninstall refused");
  };
  OnStart = [this](TService&, bool& Started) {
    Log("start");
    const std::string mode = Setting("QV_TEST_SERVICE_START");
    if (mode == "fail") Started = false;
    if (mode == "raise") throw Exception("start refused");
  };
  OnStop = [this](TService&, bool& Stopped) {
    Log("stop");
    const std::string mode = Setting("QV_TEST_SERVICE_STOP");
    if (mode == "refuse") Stopped = false;
    if (mode == "hang") {
      const uint32_t start = platform::GetTickCount();
      while (!platform::FileExists(log_file_ + ".release") && platform::GetTickCount() - start < 20000)
        platform::Sleep(20);
    }
  };
  OnPause = [this](TService&, bool&) { Log("pause"); };
  OnContinue = [this](TService&, bool&) { Log("continue"); };
}

void TestService::Log(const std::string& line) {
  if (log_file_.empty()) return;
  std::lock_guard lock(log_mutex_);
  std::ofstream(log_file_, std::ios::app) << line << "\n";
}

std::string TestServiceProgram() {
  return QV_TEST_SERVICE_PROGRAM;
}

}  // namespace qv::testing
