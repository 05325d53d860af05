#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/threads/sync.h"

namespace qv::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

int64_t MillisecondsSince(steady_clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
}

TEST(Event, AutoResetLetsOneWaiterThroughPerSet) {
  Event event(/*manual_reset=*/false, /*initially_signaled=*/false);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, 10000) == WaitResult::kSignaled) ++passed;
    });
  event.Set();
  // Exactly one waiter takes the event; the other stays until the second Set.
  const auto start = steady_clock::now();
  while (passed < 1 && MillisecondsSince(start) < 10000) std::this_thread::sleep_for(milliseconds(1));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(passed, 1);
  event.Set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(passed, 2);
  // The second wait took it again: it is not signalled now.
  EXPECT_EQ(WaitForSingleObject(event, 0), WaitResult::kTimedOut);
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSignalledUntilReset) {
  Event event(/*manual_reset=*/true, /*initially_signaled=*/false);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, 10000) == WaitResult::kSignaled) ++passed;
    });
  event.Set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(passed, 3);
  EXPECT_EQ(WaitForSingleObject(event, 0), WaitResult::kSignaled);
  EXPECT_EQ(WaitForSingleObject(event, 0), WaitResult::kSignaled);
  event.Reset();
  EXPECT_EQ(WaitForSingleObject(event, 0), WaitResult::kTimedOut);
}

TEST(Event, InitiallySignalledAutoResetIsTakenByTheFirstWait) {
  Event event(/*manual_reset=*/false, /*initially_signaled=*/true);
  EXPECT_EQ(WaitForSingleObject(event, 0), WaitResult::kSignaled);
  EXPECT_EQ(WaitForSingleObject(event, 0), WaitResult::kTimedOut);
}

TEST(Wait, TimesOutNotBeforeTheLimit) {
  Event event(true, false);
  const auto start = steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(event, 120), WaitResult::kTimedOut);
  const int64_t elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 120);
  EXPECT_LT(elapsed, 10000);
}

TEST(Semaphore, CountsDownToZeroAndRefusesToPassItsMaximum) {
  Semaphore semaphore(2, 3);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WaitResult::kSignaled);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WaitResult::kSignaled);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WaitResult::kTimedOut);

  int32_t previous = -1;
  ASSERT_TRUE(semaphore.Release(3, &previous));
  EXPECT_EQ(previous, 0);
  SetLastError(0);
  EXPECT_FALSE(semaphore.Release(1, &previous));
  EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
  EXPECT_EQ(previous, 0);  // untouched by the refused release
  EXPECT_FALSE(semaphore.Release(0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // The refused release left the count at its maximum.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WaitForSingleObject(semaphore, 0), WaitResult::kSignaled);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WaitResult::kTimedOut);
}

TEST(Semaphore, ReleaseWakesAWaiter) {
  Semaphore semaphore(0, 1);
  std::atomic<bool> passed{false};
  std::thread waiter([&] { passed = WaitForSingleObject(semaphore, 10000) == WaitResult::kSignaled; });
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(passed);
  ASSERT_TRUE(semaphore.Release());
  waiter.join();
  EXPECT_TRUE(passed);
}

TEST(Semaphore, RejectsImpossibleCounts) {
  EXPECT_THROW(Semaphore(2, 1), EWin32Error);
  EXPECT_THROW(Semaphore(0, 0), EWin32Error);
  EXPECT_THROW(Semaphore(-1, 1), EWin32Error);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CriticalSection section;
  section.Enter();
  section.Enter();  // the holder may enter again
  bool other_entered = true;
  std::thread other([&] { other_entered = section.TryEnter(); });
  other.join();
  EXPECT_FALSE(other_entered);
  section.Leave();
  // Still held once.
  std::thread again([&] { other_entered = section.TryEnter(); });
  again.join();
  EXPECT_FALSE(other_entered);
  section.Leave();
  std::thread free([&] {
    other_entered = section.TryEnter();
    if (other_entered) section.Leave();
  });
  free.join();
  EXPECT_TRUE(other_entered);
}

TEST(CriticalSection, GuardsASharedCounter) {
  CriticalSection section;
  int counter = 0;  // deliberately not atomic: the lock must make the increments safe
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        CriticalSectionLock lock(section);
        ++counter;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 20000);
}

}  // namespace
}  // namespace qv::platform
