// Abandon on Windows: TerminateThread ends the thread where it is; its windows go with it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/win_error.h"
#include "platform/window_messages.h"
#include "testing/function_thread.h"
#include "testing/platform_checks.h"

namespace qv::platform {
namespace {

using qv::testing::FunctionThread;
using std::chrono::milliseconds;

TEST(Thread, AbandonEndsAStuckThreadAtOnce) {
  Event stuck(true, false);
  Event release(true, false);
  std::atomic<bool> went_on{false};
  FunctionThread thread([&](FunctionThread&) {
    stuck.Set();
    WaitForSingleObject(release, 10000);
    went_on = true;
  });
  thread.Resume();
  ASSERT_EQ(WaitForSingleObject(stuck, 10000), WaitResult::kSignaled);
  thread.Abandon();
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 0), WaitResult::kSignaled);
  release.Set();
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_FALSE(went_on);  // the body never went on
  EXPECT_FALSE(CurrentThreadAbandoned());
}

LResult PlainWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  return DefWindowProc(window, message, wparam, lparam);
}

TEST(Thread, AbandonTakesTheThreadsWindowsWithIt) {
  WndClass window_class;
  window_class.window_proc = PlainWindowProc;
  window_class.instance = GetModuleInstance();
  window_class.class_name = "AbandonTestClass";
  ASSERT_NE(RegisterClass(window_class), 0);

  std::atomic<WindowHandle> window{0};
  FunctionThread thread([&](FunctionThread&) {
    window = CreateWindowEx(0, "AbandonTestClass", "", 0, 0, 0, 0, 0, 0, 0, GetModuleInstance(), nullptr);
    Msg msg;
    GetMessage(&msg, 0, 0, 0);  // waits: nothing is ever posted
  });
  thread.Resume();
  while (window == 0) std::this_thread::sleep_for(milliseconds(1));
  std::this_thread::sleep_for(milliseconds(20));

  thread.Abandon();
  if (!qv::testing::SkipUnderWine("the windows of a terminated thread (Wine keeps them)")) {
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  }
  EXPECT_TRUE(UnregisterClass("AbandonTestClass", GetModuleInstance()));
}

}  // namespace
}  // namespace qv::platform
