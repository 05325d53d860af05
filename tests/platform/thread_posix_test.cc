// Abandon on Linux: the thread is given up, not ended; it runs on until its body returns and
// then leaves without touching its object.
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

namespace qv::platform {
namespace {

using qv::testing::FunctionThread;
using std::chrono::milliseconds;

TEST(Thread, AbandonGivesUpAStuckThreadAtOnce) {
  Event release(true, false);
  Event stuck(true, false);
  std::atomic<bool> saw_abandoned{false};
  Event left(true, false);
  FunctionThread thread([&](FunctionThread&) {
    stuck.Set();
    WaitForSingleObject(release, 10000);
    saw_abandoned = CurrentThreadAbandoned();
    left.Set();
  });
  thread.Resume();
  ASSERT_EQ(WaitForSingleObject(stuck, 10000), WaitResult::kSignaled);
  thread.Abandon();
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 0), WaitResult::kSignaled);
  release.Set();
  ASSERT_EQ(WaitForSingleObject(left, 10000), WaitResult::kSignaled);
  EXPECT_TRUE(saw_abandoned);
  EXPECT_FALSE(CurrentThreadAbandoned());
}

// Window procedure of the abandoned thread's window: does nothing special.
LResult PlainWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  return DefWindowProc(window, message, wparam, lparam);
}

TEST(Thread, AbandonDestroysTheThreadsWindowsAndEndsItsMessageRetrieval) {
  WndClass window_class;
  window_class.window_proc = PlainWindowProc;
  window_class.instance = GetModuleInstance();
  window_class.class_name = "AbandonTestClass";
  ASSERT_NE(RegisterClass(window_class), 0);

  std::atomic<WindowHandle> window{0};
  std::atomic<int> retrieval_result{99};
  Event left(true, false);
  FunctionThread thread([&](FunctionThread&) {
    window = CreateWindowEx(0, "AbandonTestClass", "", 0, 0, 0, 0, 0, 0, 0, GetModuleInstance(), nullptr);
    Msg msg;
    retrieval_result = GetMessage(&msg, 0, 0, 0);  // waits: nothing is ever posted
    left.Set();
  });
  thread.Resume();
  while (window == 0) std::this_thread::sleep_for(milliseconds(1));
  std::this_thread::sleep_for(milliseconds(20));

  thread.Abandon();
  ASSERT_EQ(WaitForSingleObject(left, 10000), WaitResult::kSignaled);
  EXPECT_EQ(retrieval_result, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

}  // namespace
}  // namespace qv::platform
