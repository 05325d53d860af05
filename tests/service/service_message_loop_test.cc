// While the service runs, the thread that runs the application dispatches its window messages: the
// file writers made on that thread get their error reports delivered there.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "platform/clock/clock.h"
#include "platform/services/service_control.h"
#include "platform/threads/thread.h"
#include "platform/window_messages/window_messages.h"
#include "service/service_application.h"
#include "testing/service_sandbox.h"

namespace qv {
namespace {

using namespace platform;

constexpr const char* kName = "LoopService";
constexpr uint32_t kStopMessage = WM_APP + 1;

std::atomic<TService*> g_service{nullptr};
std::atomic<uint32_t> g_handled_on{0};

// Stops the service from the thread that owns the window, once the message reaches it.
LResult StopWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  if (message != kStopMessage) return DefWindowProc(window, message, wparam, lparam);
  g_handled_on = GetCurrentThreadId();
  g_service.load()->Controller(SERVICE_CONTROL_STOP);
  return 0;
}

TEST(ServiceApplicationRun, DispatchesTheCallingThreadsWindowMessagesWhileTheServiceRuns) {
  testing::ServiceSandbox sandbox;
  {
    const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(ServiceHandle(CreateService(manager.Get(), kName, "", SERVICE_ALL_ACCESS,
                                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                            SERVICE_ERROR_NORMAL, "/bin/true", "", nullptr, "", "", "")));
  }
  WndClass window_class;
  window_class.window_proc = StopWindowProc;
  window_class.instance = GetModuleInstance();
  window_class.class_name = "LoopServiceWindow";
  ASSERT_NE(RegisterClass(window_class), 0);
  const WindowHandle window =
      CreateWindowEx(0, window_class.class_name, "", 0, 0, 0, 0, 0, 0, 0, GetModuleInstance(), nullptr);
  ASSERT_NE(window, 0u);

  std::ostringstream out, err;
  TServiceApplication application({}, out, err);
  TService& service = application.CreateService<TService>(kName);
  g_service = &service;
  // The start posts to this thread's window; only this thread's dispatching can stop the service. A
  // watchdog stops it after a while should the message never be dispatched.
  std::atomic<bool> stopped_by_watchdog{false};
  std::thread watchdog;
  service.OnStart = [&](TService&, bool&) {
    PostMessage(window, kStopMessage, 0, 0);
    watchdog = std::thread([&] {
      const uint32_t start = GetTickCount();
      while (g_handled_on == 0 && GetTickCount() - start < 20000) Sleep(10);
      if (g_handled_on == 0) {
        stopped_by_watchdog = true;
        service.Controller(SERVICE_CONTROL_STOP);
      }
    });
  };
  EXPECT_EQ(application.Run(), 0) << err.str();
  watchdog.join();
  EXPECT_FALSE(stopped_by_watchdog);
  EXPECT_EQ(g_handled_on, GetCurrentThreadId());
  EXPECT_EQ(service.Status(), SERVICE_STOPPED);
  DestroyWindow(window);
  UnregisterClass(window_class.class_name, GetModuleInstance());
}

}  // namespace
}  // namespace qv
