// How the threaded TCP server ends its connection threads when it is deactivated while requests are
// in flight: at once for those without a whole request, after their answer (within the stop time-out)
// for the others. The thread that cannot start is tested with the connection server.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "net/loopback_server.h"

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

}  // namespace
}  // namespace qv::net
