// The pooled system threads under the platform threads, as the system's process table shows them.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/files/file_system.h"
#include "platform/threads/sync.h"
#include "platform/threads/thread.h"

namespace qv::platform {
namespace {

// Keeps the name its system thread carries while the body runs.
class NameReadingThread : public Thread {
 public:
  ~NameReadingThread() override {
    if (!Suspended()) WaitForSingleObject(Handle(), INFINITE);
  }
  std::string name;

 protected:
  void Execute() override { ReadWholeFile("/proc/thread-self/comm", &name); }
};

int IdleThreadsOfThisProcess() {
  std::vector<std::string> tasks;
  if (!ListDirectory("/proc/self/task", &tasks)) return -1;
  int idle = 0;
  for (const std::string& task : tasks) {
    std::string name;
    if (ReadWholeFile("/proc/self/task/" + task + "/comm", &name) && name == "qv-idle\n") ++idle;
  }
  return idle;
}

// A system thread waiting for work is named "qv-idle"; at work, also when reused, it carries the
// name of the thread that made it, as a thread of its own would.
TEST(SystemThreads, IdleThreadsAreNamedAndWorkingThreadsAreNot) {
  std::string process_name;
  ASSERT_TRUE(ReadWholeFile("/proc/thread-self/comm", &process_name));
  ASSERT_NE(process_name, "qv-idle\n");
  for (int round = 0; round < 5; ++round) {
    NameReadingThread thread;
    thread.Resume();
    ASSERT_EQ(WaitForSingleObject(thread.Handle(), 10000), WaitResult::kSignaled);
    EXPECT_EQ(thread.name, process_name) << "round " << round;
  }
  int idle = 0;
  for (int waited = 0; idle < 1 && waited < 5000; waited += 5) {
    idle = IdleThreadsOfThisProcess();
    if (idle < 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GE(idle, 1);
}

}  // namespace
}  // namespace qv::platform
