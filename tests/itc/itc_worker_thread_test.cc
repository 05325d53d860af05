#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "itc/itc_endpoint.h"
#include "itc/itc_worker_thread.h"
#include "platform/clock/clock.h"
#include "platform/threads/sync.h"
#include "platform/threads/thread.h"
#include "platform/window_messages/window_messages.h"
#include "testing/message_pump.h"
#include "testing/platform_checks.h"

namespace qv {
namespace {

using platform::Event;
using platform::WaitForSingleObject;
using platform::WaitResult;
using qv::testing::PumpMessagesUntil;
using std::chrono::milliseconds;

// What a worker's handlers saw, in order, from whichever thread.
class Log {
 public:
  void Add(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> Entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
  }
  bool WaitForCount(size_t count, uint32_t timeout_ms = 10000) {
    const uint32_t start = platform::GetTickCount();
    while (Count() < count) {
      if (platform::GetTickCount() - start > timeout_ms) return false;
      platform::Sleep(1);
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

std::string Text(const void* data, uint32_t size) {
  return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
}

void SendText(TVeskItcThread& worker, const std::string& text) {
  worker.SendToSelf(text.data(), static_cast<uint32_t>(text.size()));
}

// A worker that reports its destruction and the thread it ran on.
class ObservedWorker : public TVeskItcThread {
 public:
  ObservedWorker(const std::string& name, Event* destroyed, std::atomic<uint32_t>* destroyed_on)
      : TVeskItcThread(name, true), destroyed_(destroyed), destroyed_on_(destroyed_on) {}
  ~ObservedWorker() override {
    *destroyed_on_ = platform::GetCurrentThreadId();
    destroyed_->Set();
  }

 private:
  Event* destroyed_;
  std::atomic<uint32_t>* destroyed_on_;
};

TEST(VeskItcThread, AWorkerCreatedRunningNeedsNoStart) {
  TVeskItcThread worker("RunningWorker", /*create_suspended=*/false);
  EXPECT_FALSE(worker.Suspended());
  EXPECT_TRUE(worker.StartAndWait());
  ASSERT_TRUE(PumpMessagesUntil([] { return FindItcEndpoint("RunningWorker") != nullptr; }));
}

TEST(VeskItcThread, StartAndWaitReturnsWithTheEndpointConnectedOnTheWorker) {
  Log log;
  TVeskItcThread worker("StartedWorker", /*create_suspended=*/true);
  worker.OnStart = [&](TVeskItcThread& sender) {
    log.Add(sender.Itc().Connected() && platform::GetCurrentThreadId() == sender.ThreadID()
                ? "start on worker"
                : "start elsewhere");
  };
  EXPECT_EQ(FindItcEndpoint("StartedWorker"), nullptr);
  ASSERT_TRUE(worker.StartAndWait());
  EXPECT_TRUE(worker.Itc().Connected());
  EXPECT_EQ(FindItcEndpoint("startedworker"), &worker.Itc());
  EXPECT_EQ(platform::GetWindowThreadProcessId(worker.Itc().Window()), worker.ThreadID());
  ASSERT_TRUE(log.WaitForCount(1));
  EXPECT_EQ(log.Entries()[0], "start on worker");
}

TEST(VeskItcThread, AWorkerWithoutANameReportsItAndHandlesNothing) {
  Log log;
  TVeskItcThread worker("", /*create_suspended=*/true);
  worker.OnException = [&](TVeskItc& sender, const Exception& e) {
    log.Add(std::string(&sender == &worker.Itc() ? "endpoint: " : "other: ") + e.Message());
  };
  worker.OnStart = [&](TVeskItcThread&) { log.Add("started"); };
  worker.OnMessage = [&](TVeskItcThread&, const std::string&, const void*, uint32_t) { log.Add("message"); };
  EXPECT_TRUE(worker.StartAndWait());
  EXPECT_TRUE(worker.WaitForTimeout(5000));  // the body ended at once
  EXPECT_EQ(log.Entries(),
            (std::vector<std::string>{"endpoint: Vesk ITC Error: Name has not been set before Connect"}));
  EXPECT_THROW(worker.SendToSelf("x", 1), eItcException);
}

TEST(VeskItcThread, OnBeforeConnectMayChooseTheName) {
  TVeskItcThread worker("", /*create_suspended=*/true);
  worker.OnBeforeConnect = [](TVeskItcThread&, std::string& name) { name = "ChosenName"; };
  ASSERT_TRUE(worker.StartAndWait());
  EXPECT_EQ(worker.Itc().Name(), "ChosenName");
  EXPECT_EQ(FindItcEndpoint("ChosenName"), &worker.Itc());
}

TEST(VeskItcThread, QueuedWorkIsHandledOnTheWorkerInOrder) {
  Log log;
  std::atomic<bool> all_on_worker{true};
  TVeskItcThread worker("OrderedWorker", /*create_suspended=*/true);
  worker.OnMessage = [&](TVeskItcThread& sender, const std::string& from, const void* data, uint32_t size) {
    if (platform::GetCurrentThreadId() != sender.ThreadID() || from != "OrderedWorker") all_on_worker = false;
    log.Add(Text(data, size));
  };
  ASSERT_TRUE(worker.StartAndWait());
  std::vector<std::thread> producers;
  for (int p = 0; p < 3; ++p)
    producers.emplace_back([&worker, p] {
      for (int i = 0; i < 100; ++i) SendText(worker, std::to_string(p) + ":" + std::to_string(i));
    });
  for (auto& producer : producers) producer.join();
  ASSERT_TRUE(log.WaitForCount(300));
  EXPECT_TRUE(all_on_worker);
  std::vector<int> next(3, 0);
  for (const std::string& entry : log.Entries()) {
    const int p = entry[0] - '0';
    EXPECT_EQ(entry.substr(2), std::to_string(next[p]));
    ++next[p];
  }
}

TEST(VeskItcThread, AFailingHandlerReachesOnExceptionAndTheLoopGoesOn) {
  Log log;
  TVeskItcThread worker("FailingWorker", /*create_suspended=*/true);
  worker.OnMessage = [&](TVeskItcThread&, const std::string&, const void* data, uint32_t size) {
    const std::string text = Text(data, size);
    if (text == "fail") throw EConvertError("'fail' is not a valid integer value");
    log.Add("handled " + text);
  };
  worker.OnException = [&](TVeskItc& sender, const Exception& e) {
    log.Add(std::string(e.ClassName()) + " via " + sender.Name());
  };
  ASSERT_TRUE(worker.StartAndWait());
  SendText(worker, "fail");
  SendText(worker, "next");
  ASSERT_TRUE(log.WaitForCount(2));
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"EConvertError via FailingWorker", "handled next"}));
}

TEST(VeskItcThread, WorkQueuedFromAHandlerRunsAfterItReturns) {
  Log log;
  TVeskItcThread worker("NestingWorker", /*create_suspended=*/true);
  worker.OnMessage = [&](TVeskItcThread& sender, const std::string&, const void* data, uint32_t size) {
    const std::string text = Text(data, size);
    log.Add("begin " + text);
    if (text == "outer") SendText(sender, "inner");
    log.Add("end " + text);
  };
  ASSERT_TRUE(worker.StartAndWait());
  SendText(worker, "outer");
  ASSERT_TRUE(log.WaitForCount(4));
  EXPECT_EQ(log.Entries(),
            (std::vector<std::string>{"begin outer", "end outer", "begin inner", "end inner"}));
}

TEST(VeskItcThread, TerminateEndsAnIdleWorkerWellBeforeTheLimit) {
  Log log;
  TVeskItcThread worker("IdleWorker", /*create_suspended=*/true);
  worker.OnStop = [&](TVeskItcThread& sender) {
    log.Add(platform::GetCurrentThreadId() == sender.ThreadID() ? "stop on worker" : "stop elsewhere");
  };
  ASSERT_TRUE(worker.StartAndWait());
  platform::Sleep(50);  // idle in its message retrieval
  const uint32_t start = platform::GetTickCount();
  worker.Terminate();
  EXPECT_TRUE(worker.WaitForTimeout(5000));
  EXPECT_LT(platform::GetTickCount() - start, 4000u);  // woken by the endpoint, not by the limit
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"stop on worker"}));
  EXPECT_EQ(FindItcEndpoint("IdleWorker"), nullptr);
  EXPECT_FALSE(worker.Itc().Connected());
}

TEST(VeskItcThread, TerminateRightAfterARunningStartStillEndsTheWorker) {
  // Told to stop before its endpoint (and so its wake-up target) may exist.
  for (int round = 0; round < 5; ++round) {
    TVeskItcThread worker("EarlyStopped", /*create_suspended=*/false);
    const uint32_t start = platform::GetTickCount();
    worker.Terminate();
    EXPECT_TRUE(worker.WaitForTimeout(5000));
    EXPECT_LT(platform::GetTickCount() - start, 4000u);
  }
}

TEST(VeskItcThread, WaitForTimeoutGivesUpOnAStuckWorkerAfterTheLimitAndKillDisconnectsIt) {
  Event entered(true, false);
  Event release(true, false);
  Event left(true, false);
  auto worker = std::make_unique<TVeskItcThread>("StuckWorker", /*create_suspended=*/true);
  worker->OnMessage = [&](TVeskItcThread&, const std::string&, const void*, uint32_t) {
    entered.Set();
    WaitForSingleObject(release, 30000);
    left.Set();
  };
  ASSERT_TRUE(worker->StartAndWait());
  SendText(*worker, "block");
  ASSERT_EQ(WaitForSingleObject(entered, 10000), WaitResult::kSignaled);

  const uint32_t start = platform::GetTickCount();
  EXPECT_FALSE(worker->WaitForTimeout(300));
  const uint32_t elapsed = platform::GetTickCount() - start;
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 10000u);

  worker->Kill(false);
  EXPECT_TRUE(worker->Finished());
  EXPECT_FALSE(worker->Itc().Connected());
  EXPECT_EQ(FindItcEndpoint("StuckWorker"), nullptr);
  EXPECT_TRUE(worker->WaitForTimeout(0));
  worker.reset();  // does not wait for the stuck handler

  release.Set();
  // Linux: the given-up thread finishes its handler and leaves quietly. Windows ends it at once.
  if (!qv::testing::SkipOnWindows("the given-up thread finishing its handler (Windows terminates it)")) {
    EXPECT_EQ(WaitForSingleObject(left, 10000), WaitResult::kSignaled);
  }
}

TEST(VeskItcThread, DestroyingARunningWorkerStopsIt) {
  Log log;
  {
    TVeskItcThread worker("DestroyedWorker", /*create_suspended=*/true);
    worker.OnStop = [&](TVeskItcThread&) { log.Add("stopped"); };
    ASSERT_TRUE(worker.StartAndWait());
  }
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"stopped"}));
  EXPECT_EQ(FindItcEndpoint("DestroyedWorker"), nullptr);
}

TEST(VeskItcThread, AWorkerThatNeverStartedIsReleasedAtOnce) {
  Log log;
  const uint32_t start = platform::GetTickCount();
  {
    TVeskItcThread worker("NeverStarted", /*create_suspended=*/true);
    worker.OnStart = [&](TVeskItcThread&) { log.Add("started"); };
  }
  EXPECT_LT(platform::GetTickCount() - start, 4000u);  // no 5-second wait for a thread that never ran
  EXPECT_EQ(log.Count(), 0u);
}

TEST(VeskItcThread, WaitForTimeoutAnswersDisconnectRequestsForTheWaitingThread) {
  // An endpoint of this thread is disconnected by the worker as it stops: that needs this thread to
  // answer while it waits for the worker.
  TVeskItc mine("WaitersEndpoint");
  mine.Connect();
  TVeskItcThread worker("DisconnectingWorker", /*create_suspended=*/true);
  worker.OnStop = [&](TVeskItcThread&) { mine.Disconnect(); };
  ASSERT_TRUE(worker.StartAndWait());
  const platform::WindowHandle window = mine.Window();
  worker.Terminate();
  EXPECT_TRUE(worker.WaitForTimeout(5000));
  EXPECT_FALSE(mine.Connected());
  EXPECT_FALSE(platform::IsWindow(window));
}

TEST(VeskItcThread, TheWorkerSendsToOtherEndpointsUnderItsOwnName) {
  TVeskItc inbox("MainInbox");
  std::vector<std::string> received;
  inbox.OnMessage = [&](TVeskItc&, const std::string& from, const void* data, uint32_t size) {
    received.push_back(from + ": " + Text(data, size));
  };
  inbox.Connect();
  TVeskItcThread worker("Forwarder", /*create_suspended=*/true);
  worker.OnMessage = [](TVeskItcThread& sender, const std::string&, const void* data, uint32_t size) {
    sender.SendTo("mainINBOX", data, size);
  };
  ASSERT_TRUE(worker.StartAndWait());
  SendText(worker, "relayed");
  ASSERT_TRUE(PumpMessagesUntil([&] { return !received.empty(); }));
  EXPECT_EQ(received[0], "Forwarder: relayed");
}

TEST(VeskItcThread, AHandedOverWorkerReleasesItselfWhenItsBodyEnds) {
  Event destroyed(true, false);
  std::atomic<uint32_t> destroyed_on{0};
  auto worker = std::make_unique<ObservedWorker>("SelfReleasing", &destroyed, &destroyed_on);
  worker->SetFreeWhenEnded(true);
  ASSERT_TRUE(worker->StartAndWait());
  TVeskItcThread* const running = worker.get();
  const uint32_t worker_thread = running->ThreadID();
  platform::Thread::HandOver(std::move(worker));
  EXPECT_EQ(WaitForSingleObject(destroyed, 50), WaitResult::kTimedOut);
  running->Terminate();
  ASSERT_EQ(WaitForSingleObject(destroyed, 10000), WaitResult::kSignaled);
  EXPECT_EQ(destroyed_on.load(), worker_thread);
  EXPECT_EQ(FindItcEndpoint("SelfReleasing"), nullptr);
}

TEST(VeskItcThread, KillWithFreeItReleasesAHandedOverWorker) {
  Event destroyed(true, false);
  std::atomic<uint32_t> destroyed_on{0};
  Event entered(true, false);
  Event release(true, false);
  Event left(true, false);
  auto worker = std::make_unique<ObservedWorker>("KilledAndFreed", &destroyed, &destroyed_on);
  worker->SetFreeWhenEnded(true);
  worker->OnMessage = [&](TVeskItcThread&, const std::string&, const void*, uint32_t) {
    entered.Set();
    WaitForSingleObject(release, 30000);
    left.Set();
  };
  ASSERT_TRUE(worker->StartAndWait());
  TVeskItcThread* const running = worker.get();
  platform::Thread::HandOver(std::move(worker));
  SendText(*running, "block");
  ASSERT_EQ(WaitForSingleObject(entered, 10000), WaitResult::kSignaled);
  running->Kill(true);
  EXPECT_EQ(WaitForSingleObject(destroyed, 0), WaitResult::kSignaled);
  EXPECT_EQ(destroyed_on.load(), platform::GetCurrentThreadId());
  EXPECT_EQ(FindItcEndpoint("KilledAndFreed"), nullptr);
  release.Set();
  if (!qv::testing::SkipOnWindows("the given-up thread finishing its handler (Windows terminates it)")) {
    EXPECT_EQ(WaitForSingleObject(left, 10000), WaitResult::kSignaled);
  }
}

}  // namespace
}  // namespace qv
