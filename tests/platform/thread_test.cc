#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
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

TEST(Thread, IdentifiersAreDistinctAndStable) {
  const uint32_t mine = GetCurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(GetCurrentThreadId(), mine);
  uint32_t other = 0;
  std::thread([&] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
}

}  // namespace
}  // namespace qv::platform
