// How the threaded TCP server ends its connection threads when it is deactivated while requests are
// in flight, and what happens to a connection whose thread the system cannot start.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "net/loopback_server.h"
#include "platform/exception.h"

namespace qv::net {
namespace {

using namespace platform;
using namespace loopback;

// A body that answers "answered" to a connection that sends a line, once the test releases it or the
// server ends the thread, and waits for a silent connection until the server ends it.
struct HeldAnswers {
  Event began{true, false};    // a thread holds a whole request
  Event release{true, false};  // the test lets the answer go
  std::atomic<bool> refused{false};

  FunctionThread::Body Body() {
    return [this](FunctionThread& thread) {
      TWinSocketStream stream(*thread.ClientSocket(), kPatience);
      if (ReadLine(stream).empty()) return;  // silent, and closed by the deactivation
      if (!thread.BeginAnswer()) {
        refused = true;
        return;
      }
      began.Set();
      while (!thread.Terminated() && WaitForSingleObject(release, 10) != WaitResult::kSignaled) {
      }
      thread.ClientSocket()->SendText("answered");
    };
  }
};

TEST(ServerStop, ADeactivationEndsTheIdleAtOnceAndLetsAnAnswerThatBeganFinish) {
  LoopbackServer loopback;
  HeldAnswers held;
  loopback.ServeWith(held.Body());
  loopback.server.SetStopTimeOut(kPatience);
  loopback.server.SetActive(true);
  TcpSocket answered = loopback.Connect();
  TcpSocket silent = loopback.Connect();
  ASSERT_TRUE(answered.Send("request\n"));
  ASSERT_EQ(WaitForSingleObject(held.began, kPatience), WaitResult::kSignaled);

  std::thread deactivation([&] { loopback.server.SetActive(false); });
  // The silent connection is closed at once; the deactivation waits for the answer meanwhile.
  EXPECT_EQ(ReceiveUntilClosed(silent), "");
  EXPECT_TRUE(loopback.WaitForEnds(1));
  const uint32_t start = GetTickCount();
  while (loopback.server.ActiveThreads() != 1 && GetTickCount() - start < kPatience) Sleep(5);
  EXPECT_EQ(loopback.server.ActiveThreads(), 1);
  EXPECT_TRUE(loopback.server.Active());
  held.release.Set();
  deactivation.join();
  EXPECT_EQ(ReceiveUntilClosed(answered), "answered");
  EXPECT_EQ(loopback.server.ActiveThreads(), 0);
  EXPECT_FALSE(loopback.server.Active());
}

TEST(ServerStop, AnAnswerThatTakesLongerThanTheStopTimeOutIsEnded) {
  LoopbackServer loopback;
  HeldAnswers held;
  loopback.ServeWith(held.Body());
  constexpr uint32_t kStopTimeOutMs = 300;
  loopback.server.SetStopTimeOut(kStopTimeOutMs);
  loopback.server.SetActive(true);
  TcpSocket client = loopback.Connect();
  ASSERT_TRUE(client.Send("request\n"));
  ASSERT_EQ(WaitForSingleObject(held.began, kPatience), WaitResult::kSignaled);
  const uint32_t start = GetTickCount();
  loopback.server.SetActive(false);
  const uint32_t stopping = GetTickCount() - start;
  EXPECT_GE(stopping, kStopTimeOutMs - 20);  // the tick's granularity
  EXPECT_LT(stopping, kPatience);
  EXPECT_EQ(loopback.server.ActiveThreads(), 0);
  EXPECT_EQ(ReceiveUntilClosed(client), "");
}

TEST(ServerStop, ARequestThatBecomesWholeAfterTheDeactivationEndedItsThreadIsNotAnswered) {
  LoopbackServer loopback;
  Event reading(true, false);
  std::atomic<bool> answer_allowed{true};
  loopback.ServeWith([&](FunctionThread& thread) {
    reading.Set();
    while (!thread.Terminated()) Sleep(5);
    answer_allowed = thread.BeginAnswer();
  });
  loopback.server.SetStopTimeOut(kPatience);
  loopback.server.SetActive(true);
  TcpSocket client = loopback.Connect();
  ASSERT_EQ(WaitForSingleObject(reading, kPatience), WaitResult::kSignaled);
  loopback.server.SetActive(false);
  EXPECT_FALSE(answer_allowed);
}

// A server whose first connection thread cannot be started, as when the system is out of threads.
class StartRefusingServer : public TServerSocket {
 public:
  std::atomic<int> refusals_left{1};

 protected:
  void StartConnectionThread(TServerClientThread& thread) override {
    if (refusals_left-- > 0) throw Exception("Not enough resources are available to start a thread");
    TServerSocket::StartConnectionThread(thread);
  }
};

TEST(ServerStop, AConnectionWhoseThreadCannotStartIsClosedAndReportedAndTheServerGoesOn) {
  BasicLoopbackServer<StartRefusingServer> loopback;
  std::mutex mutex;
  std::vector<std::string> reports;
  std::atomic<int> bodies{0};
  loopback.ServeWith([&](FunctionThread& thread) {
    ++bodies;
    thread.ClientSocket()->SendText("served");
  });
  loopback.server.OnThreadStartError = [&](TServerSocket& sender, TServerClientThread& thread,
                                           const std::string& message) {
    EXPECT_EQ(&sender, &loopback.server);
    EXPECT_EQ(thread.ClientSocket(), nullptr);
    std::lock_guard<std::mutex> lock(mutex);
    reports.push_back(message);
  };
  loopback.server.SetActive(true);
  TcpSocket refused = loopback.Connect();
  EXPECT_EQ(ReceiveUntilClosed(refused), "");
  TcpSocket served = loopback.Connect();
  EXPECT_EQ(ReceiveUntilClosed(served), "served");
  EXPECT_TRUE(loopback.WaitForEnds(1));
  loopback.server.SetActive(false);  // returns: nothing waits for the thread that never ran
  EXPECT_EQ(bodies, 1);
  EXPECT_EQ(loopback.journal.EndCount(), 1u);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(reports, std::vector<std::string>{"Not enough resources are available to start a thread"});
}

}  // namespace
}  // namespace qv::net
