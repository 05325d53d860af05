// The platform thread class: a body runs only after Resume, on a thread of its own; the flags, the
// end-of-thread notification, the exception that escaped the body, the hand-over of an object to its
// own thread and identifiers that stay distinct. The thread objects run on pooled system threads on
// Linux, so these tests also check that a body on a reused system thread starts with fresh
// per-thread state (last error, message queue, COM apartment), that a queue opened while a thread
// releases itself ends with the thread, and that every running object has a system thread of its
// own. A reuse cannot be forced: when none happened, the fresh-state test says so and is skipped.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/com/com.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/host_system.h"
#include "platform/threads/sync.h"
#include "platform/threads/thread.h"
#include "platform/window_messages/window_messages.h"
#include "testing/function_thread.h"
#include "testing/platform_checks.h"

namespace qv::platform {
namespace {

using qv::testing::FunctionThread;
using std::chrono::milliseconds;

TEST(Thread, RunsOnlyAfterResumeOnAThreadOfItsOwn) {
  std::atomic<bool> ran{false};
  FunctionThread thread([&](FunctionThread& self) {
    ran = true;
    self.SetReturnValue(42);
  });
  EXPECT_TRUE(thread.Suspended());
  EXPECT_NE(thread.ThreadID(), 0u);
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 50), WaitResult::kTimedOut);
  EXPECT_FALSE(ran);

  thread.Resume();
  EXPECT_FALSE(thread.Suspended());
  EXPECT_EQ(thread.WaitFor(), 42u);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 0), WaitResult::kSignaled);
  EXPECT_EQ(thread.body_thread_id.load(), thread.ThreadID());
  EXPECT_NE(thread.ThreadID(), GetCurrentThreadId());
}

TEST(Thread, TerminateSetsTheFlagTheBodyWatches) {
  std::atomic<bool> started{false};
  FunctionThread thread([&](FunctionThread& self) {
    started = true;
    while (!self.Terminated()) std::this_thread::sleep_for(milliseconds(1));
  });
  thread.Resume();
  while (!started) std::this_thread::sleep_for(milliseconds(1));
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 20), WaitResult::kTimedOut);
  thread.Terminate();
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 10000), WaitResult::kSignaled);
}

TEST(Thread, EndOfThreadNotificationRunsOnTheThreadAfterTheBody) {
  std::atomic<uint32_t> notified_on{0};
  std::atomic<bool> finished_then{false};
  FunctionThread thread([](FunctionThread&) {});
  thread.OnTerminate = [&](Thread& sender) {
    notified_on = GetCurrentThreadId();
    finished_then = sender.Finished();
  };
  thread.Resume();
  thread.WaitFor();
  EXPECT_EQ(notified_on.load(), thread.ThreadID());
  EXPECT_TRUE(finished_then);
}

TEST(Thread, KeepsTheExceptionThatEscapedTheBody) {
  FunctionThread thread([](FunctionThread&) { throw std::runtime_error("body failed"); });
  thread.Resume();
  thread.WaitFor();
  ASSERT_TRUE(thread.FatalException());
  EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::runtime_error);
}

TEST(Thread, ANeverResumedThreadNeverRuns) {
  std::atomic<bool> ran{false};
  {
    FunctionThread thread([&](FunctionThread&) { ran = true; });
  }
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(ran);
}

TEST(Thread, AHandedOverThreadReleasesItselfWhenItsBodyEnds) {
  Event destroyed(true, false);
  Event go(true, false);
  auto thread = std::make_unique<FunctionThread>([&](FunctionThread&) { WaitForSingleObject(go, 10000); });
  thread->destroyed_ = &destroyed;
  thread->SetFreeWhenEnded(true);
  thread->Resume();
  Thread::HandOver(std::move(thread));
  EXPECT_EQ(WaitForSingleObject(destroyed, 20), WaitResult::kTimedOut);
  go.Set();
  EXPECT_EQ(WaitForSingleObject(destroyed, 10000), WaitResult::kSignaled);
}

TEST(Thread, AnOwnedThreadIsNotReleasedByItsThreadWhateverTheFlag) {
  FunctionThread thread([](FunctionThread&) {});
  thread.SetFreeWhenEnded(true);
  thread.Resume();
  thread.WaitFor();
  std::this_thread::sleep_for(milliseconds(20));
  // Still usable: the owner releases it at the end of this test.
  EXPECT_TRUE(thread.Finished());
  EXPECT_TRUE(thread.FreeWhenEnded());
}

// Window procedure of the windows the thread bodies leave behind: does nothing special.
LResult PlainWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  return DefWindowProc(window, message, wparam, lparam);
}

// What a thread body finds of the per-thread state when it starts.
struct FirstLook {
  std::thread::id system_thread;
  uint32_t thread_id = 0;
  uint32_t last_error = 0;
  bool had_message = false;
  HRESULT apartment = E_INVALIDARG;
  WindowHandle window = 0;
};

// Starts a thread object that looks at its per-thread state, leaves some behind (a last error, a
// posted message it never retrieves, a window it never destroys, an apartment it never leaves) and
// ends; waits until it is gone.
FirstLook RunAndLeaveStateBehind() {
  FirstLook look;
  {
    FunctionThread thread([&look](FunctionThread&) {
      look.system_thread = std::this_thread::get_id();
      look.thread_id = GetCurrentThreadId();
      look.last_error = GetLastError();
      Msg msg;
      look.had_message = PeekMessage(&msg, 0, 0, 0, PM_REMOVE);
      look.apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      SetLastError(ERROR_ACCESS_DENIED);
      PostMessage(0, WM_USER + 7, 0, 0);
      look.window =
          CreateWindowEx(0, "LeftBehindClass", "", 0, 0, 0, 0, 0, 0, 0, GetModuleInstance(), nullptr);
    });
    thread.Resume();
    thread.WaitFor();
  }
  return look;
}

// Whether a thread's identifier takes no more messages: at once on Linux, where the queue closes
// with the thread object; on Windows once the system thread has left, just after its object has gone.
bool RefusesMessagesSoon(uint32_t thread_id) {
  const int attempts = RunsOnWindows() ? 2000 : 1;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (!PostThreadMessage(thread_id, WM_USER, 0, 0)) return true;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return false;
}

TEST(Thread, EachThreadObjectStartsWithFreshPerThreadState) {
  WndClass window_class;
  window_class.window_proc = PlainWindowProc;
  window_class.instance = GetModuleInstance();
  window_class.class_name = "LeftBehindClass";
  ASSERT_NE(RegisterClass(window_class), 0);
  const FirstLook first = RunAndLeaveStateBehind();
  // The system may run a later object on the system thread of an earlier one (Linux does, once that
  // thread waits for work again): the state is fresh all the same.
  FirstLook later;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::this_thread::sleep_for(milliseconds(5));
    later = RunAndLeaveStateBehind();
    if (later.system_thread == first.system_thread) break;
  }
  for (const FirstLook& look : {first, later}) {
    EXPECT_EQ(look.last_error, 0u);
    EXPECT_FALSE(look.had_message);
    EXPECT_EQ(look.apartment, S_OK);
    EXPECT_NE(look.window, WindowHandle{0});
    EXPECT_FALSE(IsWindow(look.window));  // went with its thread
    EXPECT_TRUE(RefusesMessagesSoon(look.thread_id));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
  }
  EXPECT_NE(first.thread_id, later.thread_id);
  if (later.system_thread != first.system_thread) GTEST_SKIP() << "no system thread was reused";
}

// A thread that is released on its own thread, and whose release still uses its message queue.
class QueueOnReleaseThread : public Thread {
 public:
  QueueOnReleaseThread(Event& go, Event& released) : go_(go), released_(released) {}
  ~QueueOnReleaseThread() override {
    Msg msg;
    PeekMessage(&msg, 0, 0, 0, PM_REMOVE);  // the body never did: this opens the queue
    released_.Set();
  }

 protected:
  void Execute() override { WaitForSingleObject(go_, 10000); }

 private:
  Event& go_;
  Event& released_;
};

TEST(Thread, AQueueOpenedWhileAThreadReleasesItselfEndsWithTheThread) {
  Event go(true, false);
  Event released(true, false);
  auto thread = std::make_unique<QueueOnReleaseThread>(go, released);
  const uint32_t id = thread->ThreadID();
  thread->SetFreeWhenEnded(true);
  thread->Resume();
  Thread::HandOver(std::move(thread));
  go.Set();
  ASSERT_EQ(WaitForSingleObject(released, 10000), WaitResult::kSignaled);
  // The queue closes just after the release; a queue left open would take this message for ever.
  bool taken = true;
  for (int waited = 0; taken && waited < 10000; waited += 5) {
    taken = PostThreadMessage(id, WM_USER, 0, 0);
    if (taken) std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_FALSE(taken);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
}

TEST(Thread, EveryRunningObjectHasASystemThreadOfItsOwn) {
  constexpr int kThreads = 12;
  for (int round = 0; round < 3; ++round) {  // later rounds run on the system threads of earlier ones
    std::atomic<int> started{0};
    Event go(true, false);
    std::vector<std::unique_ptr<FunctionThread>> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.push_back(std::make_unique<FunctionThread>([&](FunctionThread&) {
        ++started;
        WaitForSingleObject(go, 10000);
      }));
      threads.back()->Resume();
    }
    // All bodies run at once: none waits for a system thread that another body holds.
    for (int waited = 0; started < kThreads && waited < 10000; ++waited)
      std::this_thread::sleep_for(milliseconds(1));
    EXPECT_EQ(started, kThreads) << "round " << round;
    go.Set();
    threads.clear();
  }
}

TEST(Thread, IdentifiersAreDistinctAndStable) {
  const uint32_t mine = GetCurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(GetCurrentThreadId(), mine);
  uint32_t other = 0;
  std::thread([&] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
}

// Abandon in place of TerminateThread: the thread counts as finished at once. What becomes of its body
// differs: Windows ends it where it stands; Linux gives it up, and it runs on to its end knowing
// that it was abandoned, without touching its object.
TEST(Thread, AbandonGivesUpAStuckThreadAtOnce) {
  Event release(true, false);
  Event stuck(true, false);
  std::atomic<bool> went_on{false};
  std::atomic<bool> saw_abandoned{false};
  Event left(true, false);
  FunctionThread thread([&](FunctionThread&) {
    stuck.Set();
    WaitForSingleObject(release, 10000);
    went_on = true;
    saw_abandoned = CurrentThreadAbandoned();
    left.Set();
  });
  thread.Resume();
  ASSERT_EQ(WaitForSingleObject(stuck, 10000), WaitResult::kSignaled);
  thread.Abandon();
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 0), WaitResult::kSignaled);
  EXPECT_FALSE(CurrentThreadAbandoned());
  release.Set();
  if (RunsOnWindows()) {
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(went_on);
  } else {
    ASSERT_EQ(WaitForSingleObject(left, 10000), WaitResult::kSignaled);
    EXPECT_TRUE(saw_abandoned);
  }
}

// The windows go with an abandoned thread on both systems: on Windows TerminateThread ends the thread
// where it is; on Linux the thread is given up, not ended, and its windows and queue go at once.
TEST(Thread, AbandonTakesTheThreadsWindowsWithIt) {
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
  // On Linux the body runs on: its message retrieval ends as the quit message ends it.
  if (!RunsOnWindows()) {
    ASSERT_EQ(WaitForSingleObject(left, 10000), WaitResult::kSignaled);
    EXPECT_EQ(retrieval_result, 0);
  }
  if (!qv::testing::SkipUnderWine("the windows of a terminated thread (Wine keeps them)")) {
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  }
  EXPECT_TRUE(UnregisterClass("AbandonTestClass", GetModuleInstance()));
}

}  // namespace
}  // namespace qv::platform
