#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "itc/single_write_multi_read.h"
#include "platform/threads/sync.h"

namespace qv {
namespace {

using platform::Event;
using platform::WaitForSingleObject;
using platform::WaitResult;
using std::chrono::milliseconds;

// Time for a thread that was just started to reach the point where it blocks. Only an order is
// asserted, never a speed; the pause is long so that a loaded machine still gets there.
void LetItArrive() {
  std::this_thread::sleep_for(milliseconds(300));
}

TEST(SingleWriteMultiRead, ReadersAreInsideTogether) {
  TSingleWriteMultiRead lock;
  Event first_inside(true, false);
  Event second_inside(true, false);
  std::atomic<bool> first_saw_second{false};
  std::atomic<bool> second_saw_first{false};
  std::thread first([&] {
    lock.BeginRead();
    first_inside.Set();
    first_saw_second = WaitForSingleObject(second_inside, 10000) == WaitResult::kSignaled;
    lock.EndRead();
  });
  std::thread second([&] {
    lock.BeginRead();
    second_inside.Set();
    second_saw_first = WaitForSingleObject(first_inside, 10000) == WaitResult::kSignaled;
    lock.EndRead();
  });
  first.join();
  second.join();
  EXPECT_TRUE(first_saw_second);
  EXPECT_TRUE(second_saw_first);
  // The last reader gave the data semaphore back: a writer gets in now.
  lock.BeginWrite();
  lock.EndWrite();
}

TEST(SingleWriteMultiRead, AWaitingWriterGoesBeforeReadersThatCameAfterIt) {
  TSingleWriteMultiRead lock;
  std::atomic<int> step{0};
  std::atomic<int> writer_entered{0}, writer_left{0}, late_reader_entered{0};
  Event readers_inside(true, false);
  Event readers_may_leave(true, false);
  std::atomic<int> inside{0};

  std::vector<std::thread> early_readers;
  for (int i = 0; i < 2; ++i)
    early_readers.emplace_back([&] {
      lock.BeginRead();
      if (++inside == 2) readers_inside.Set();
      WaitForSingleObject(readers_may_leave, 20000);
      lock.EndRead();
    });
  ASSERT_EQ(WaitForSingleObject(readers_inside, 10000), WaitResult::kSignaled);

  std::thread writer([&] {
    lock.BeginWrite();
    writer_entered = ++step;
    std::this_thread::sleep_for(milliseconds(20));
    writer_left = ++step;
    lock.EndWrite();
  });
  LetItArrive();  // the writer now waits for the readers inside, holding the turnstile
  EXPECT_EQ(writer_entered, 0);

  std::thread late_reader([&] {
    lock.BeginRead();
    late_reader_entered = ++step;
    lock.EndRead();
  });
  LetItArrive();
  EXPECT_EQ(late_reader_entered, 0);  // kept out by the waiting writer, though only readers are inside

  readers_may_leave.Set();
  for (auto& reader : early_readers) reader.join();
  writer.join();
  late_reader.join();
  EXPECT_EQ(writer_entered, 1);
  EXPECT_EQ(writer_left, 2);
  EXPECT_EQ(late_reader_entered, 3);
}

TEST(SingleWriteMultiRead, WritersAreAloneAndReadersNeverMeetAWriter) {
  TSingleWriteMultiRead lock;
  std::atomic<int> readers_inside{0};
  std::atomic<int> writers_inside{0};
  std::atomic<int> violations{0};
  int shared_value = 0;  // written only by writers, read by readers: the lock must order them

  auto reader = [&] {
    for (int i = 0; i < 300; ++i) {
      lock.BeginRead();
      ++readers_inside;
      if (writers_inside != 0) ++violations;
      volatile int read = shared_value;
      (void)read;
      --readers_inside;
      lock.EndRead();
    }
  };
  auto writer = [&] {
    for (int i = 0; i < 150; ++i) {
      lock.BeginWrite();
      if (++writers_inside != 1 || readers_inside != 0) ++violations;
      ++shared_value;
      --writers_inside;
      lock.EndWrite();
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) threads.emplace_back(reader);
  for (int i = 0; i < 2; ++i) threads.emplace_back(writer);
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(violations, 0);
  EXPECT_EQ(shared_value, 300);
}

}  // namespace
}  // namespace qv
