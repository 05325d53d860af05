// The service framework's state machine, run in this process: the platform's dispatcher on a thread of
// the test, controls handed to the service's control handler as the dispatcher would hand them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock/clock.h"
#include "platform/errors/exception.h"
#include "platform/errors/win_error.h"
#include "platform/services/service_control.h"
#include "platform/services/service_dispatcher.h"
#include "service/service.h"
#include "testing/service_sandbox.h"

namespace qv {
namespace {

using namespace platform;

constexpr const char* kName = "InProcessService";

class ServiceFramework : public ::testing::Test {
 protected:
  void SetUp() override {
    const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(ServiceHandle(CreateService(manager.Get(), kName, "", SERVICE_ALL_ACCESS,
                                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                            SERVICE_ERROR_NORMAL, "/bin/true", "", nullptr, "", "", "")));
    service_.WaitHint = 700;
  }

  void TearDown() override {
    if (dispatcher_.joinable()) {
      service_.Controller(SERVICE_CONTROL_SHUTDOWN);
      dispatcher_.join();
    }
  }

  void Run() {
    dispatcher_ = std::thread([this] {
      ran_ = StartServiceCtrlDispatcher(
          {{kName, [this](const std::vector<std::string>& arguments) { service_.Main(arguments); }}});
    });
  }

  bool WaitFor(uint32_t state) {
    const uint32_t start = GetTickCount();
    while (service_.Status() != state) {
      if (GetTickCount() - start > 10000) return false;
      Sleep(5);
    }
    return true;
  }

  SERVICE_STATUS Query() {
    const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_CONNECT));
    const ServiceHandle service(OpenService(manager.Get(), kName, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status;
    EXPECT_TRUE(QueryServiceStatus(service.Get(), &status));
    return status;
  }

  testing::ServiceSandbox sandbox_;
  TService service_{kName};
  std::thread dispatcher_;
  std::atomic<bool> ran_{false};
};

TEST_F(ServiceFramework, ShutdownEndsTheServiceWithoutItsStopHandler) {
  std::atomic<int> stops{0};
  service_.OnStop = [&](TService&, bool&) { ++stops; };
  Run();
  ASSERT_TRUE(WaitFor(SERVICE_RUNNING));
  service_.Controller(SERVICE_CONTROL_SHUTDOWN);
  dispatcher_.join();
  EXPECT_TRUE(ran_);
  EXPECT_EQ(stops, 0);
  EXPECT_EQ(service_.Status(), SERVICE_STOPPED);
  EXPECT_TRUE(service_.EndedCleanly());
  EXPECT_EQ(Query().dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(Query().dwWin32ExitCode, 0u);
}

TEST_F(ServiceFramework, AHandlerThatFailsKeepsThePreviousState) {
  std::atomic<bool> refuse{true};
  service_.OnPause = [&](TService&, bool& Paused) { Paused = !refuse; };
  service_.OnContinue = [&](TService&, bool&) { throw Exception("cannot listen"); };
  service_.OnStop = [&](TService&, bool& Stopped) { Stopped = !refuse; };
  Run();
  ASSERT_TRUE(WaitFor(SERVICE_RUNNING));

  service_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitFor(SERVICE_RUNNING));
  refuse = false;
  service_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitFor(SERVICE_PAUSED));
  // Continuing raises: still paused.
  service_.Controller(SERVICE_CONTROL_CONTINUE);
  Sleep(50);
  ASSERT_TRUE(WaitFor(SERVICE_PAUSED));
  // A paused service can be stopped.
  service_.Controller(SERVICE_CONTROL_STOP);
  dispatcher_.join();
  EXPECT_EQ(service_.Status(), SERVICE_STOPPED);
  EXPECT_TRUE(service_.EndedCleanly());
}

TEST_F(ServiceFramework, ReportsPendingStatesWithCheckPointsAndWaitHints) {
  std::atomic<bool> release{false};
  std::atomic<bool> in_handler{false};
  service_.OnPause = [&](TService& sender, bool&) {
    in_handler = true;
    sender.ReportStatus();  // a long handler telling of its progress
    const uint32_t start = GetTickCount();
    while (!release && GetTickCount() - start < 10000) Sleep(5);
  };
  Run();
  ASSERT_TRUE(WaitFor(SERVICE_RUNNING));
  SERVICE_STATUS status = Query();
  EXPECT_EQ(status.dwCheckPoint, 0u);
  EXPECT_EQ(status.dwWaitHint, 0u);

  service_.Controller(SERVICE_CONTROL_PAUSE);
  const uint32_t start = GetTickCount();
  while (!in_handler && GetTickCount() - start < 10000) Sleep(5);
  Sleep(20);
  status = Query();
  EXPECT_EQ(status.dwCurrentState, SERVICE_PAUSE_PENDING);
  EXPECT_EQ(status.dwCheckPoint, 2u);
  EXPECT_EQ(status.dwWaitHint, 700u);
  EXPECT_EQ(status.dwControlsAccepted, 0u);

  // A stop that comes meanwhile waits for its turn.
  service_.Controller(SERVICE_CONTROL_STOP);
  EXPECT_EQ(service_.Status(), SERVICE_PAUSE_PENDING);
  release = true;
  dispatcher_.join();
  EXPECT_EQ(service_.Status(), SERVICE_STOPPED);
  EXPECT_EQ(Query().dwCheckPoint, 0u);
}

TEST_F(ServiceFramework, IgnoresControlsTheServiceDoesNotAllow) {
  service_.AllowPause = false;
  std::atomic<int> pauses{0};
  service_.OnPause = [&](TService&, bool&) { ++pauses; };
  Run();
  ASSERT_TRUE(WaitFor(SERVICE_RUNNING));
  EXPECT_EQ(Query().dwControlsAccepted, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN);
  service_.Controller(SERVICE_CONTROL_PAUSE);
  service_.Controller(SERVICE_CONTROL_CONTINUE);
  EXPECT_EQ(service_.Controller(200), ERROR_CALL_NOT_IMPLEMENTED);
  service_.Controller(SERVICE_CONTROL_STOP);
  dispatcher_.join();
  EXPECT_EQ(pauses, 0);
  EXPECT_TRUE(service_.EndedCleanly());
}

TEST_F(ServiceFramework, AChangeOfParametersRunsItsHandlerAndKeepsTheState) {
  std::atomic<int> changes{0};
  service_.OnParamChange = [&](TService&) { ++changes; };
  Run();
  ASSERT_TRUE(WaitFor(SERVICE_RUNNING));
  EXPECT_NE(Query().dwControlsAccepted & SERVICE_ACCEPT_PARAMCHANGE, 0u);
  EXPECT_EQ(service_.Controller(SERVICE_CONTROL_PARAMCHANGE), ERROR_SUCCESS);
  const uint32_t start = GetTickCount();
  while (changes == 0 && GetTickCount() - start < 10000) Sleep(5);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(service_.Status(), SERVICE_RUNNING);
  EXPECT_EQ(Query().dwCheckPoint, 0u);

  // Paused as well; a handler that raises is reported and changes nothing.
  service_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitFor(SERVICE_PAUSED));
  service_.OnParamChange = [&](TService&) {
    ++changes;
    throw Exception("refused");
  };
  service_.Controller(SERVICE_CONTROL_PARAMCHANGE);
  while (changes == 1 && GetTickCount() - start < 10000) Sleep(5);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(service_.Status(), SERVICE_PAUSED);
  service_.Controller(SERVICE_CONTROL_STOP);
  dispatcher_.join();
  EXPECT_TRUE(service_.EndedCleanly());
}

TEST_F(ServiceFramework, WithoutAHandlerAChangeOfParametersIsNotAccepted) {
  Run();
  ASSERT_TRUE(WaitFor(SERVICE_RUNNING));
  EXPECT_EQ(Query().dwControlsAccepted & SERVICE_ACCEPT_PARAMCHANGE, 0u);
  service_.Controller(SERVICE_CONTROL_PARAMCHANGE);
  service_.Controller(SERVICE_CONTROL_STOP);
  dispatcher_.join();
  EXPECT_TRUE(service_.EndedCleanly());
}

}  // namespace
}  // namespace qv
