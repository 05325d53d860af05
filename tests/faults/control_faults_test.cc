// Controls and lost files while the running program serves: a stop and a pause while requests are in
// flight, and a trace file whose directory is removed. Afterwards the service answers normally, holds
// no thread or descriptor more than before, and its request log has one whole line per answer.
#include <atomic>
#include <thread>

#include "faults/service_fault_fixture.h"

namespace qv {
namespace {

using namespace qv::testing;
using ::testing::HasSubstr;

// Clients that send requests one after the other while a control is taken, and silent connections
// that hold request threads meanwhile.
class RequestsInFlight {
 public:
  static constexpr int kClients = 4;
  static constexpr int kRequestsPerClient = 200;
  static constexpr int kSilent = 2;
  static constexpr uint32_t kTimeLimitMs = 60000;

  // Requests first .. first + kClients * kRequestsPerClient - 1; a whole answer is the form.
  RequestsInFlight(uint16_t port, int first, std::string form)
      : port_(port), first_(first), start_(platform::GetTickCount()), form_(std::move(form)) {
    for (int c = 0; c < kClients; ++c) {
      clients_.emplace_back([this, c] {
        for (int r = 0; r < kRequestsPerClient && !stop_; ++r) {
          if (platform::GetTickCount() - start_ > kTimeLimitMs) return;
          const int n = first_ + c * kRequestsPerClient + r;
          const Exchange exchange = Talk(port_, LogonRequest(n), kPatience);
          outcomes_.Add(LogonRequestPath(n), exchange, form_);
          ++sent_;
          // A refused connection: the service no longer listens.
          if (!exchange.connected) return;
        }
      });
    }
    for (int s = 0; s < kSilent; ++s) {
      silent_.emplace_back();
      silent_.back().Connect("127.0.0.1", port_, kPatience);
      silent_.back().Send("GET /?U=&P=secret&E=CA&X=0 HTTP/1.0\r\n");
    }
  }

  int Sent() const { return sent_; }

  // Stops the clients; what they saw.
  const Outcomes& Finish() {
    stop_ = true;
    for (std::thread& client : clients_) client.join();
    clients_.clear();
    return outcomes_;
  }

  // The silent connections end without an answer.
  void ExpectSilentEnded() {
    for (platform::TcpSocket& client : silent_) {
      std::string answer;
      size_t received = 1;
      const bool read = client.Receive(kPatience, 4096, &answer, &received);
      EXPECT_TRUE(!read || received == 0);
      EXPECT_EQ(answer, "");
    }
  }

  ~RequestsInFlight() { Finish(); }

 private:
  uint16_t port_;
  int first_;
  uint32_t start_;
  const std::string form_;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  Outcomes outcomes_;
  std::vector<std::thread> clients_;
  std::vector<platform::TcpSocket> silent_;
};

void ExpectNoGarbledAnswers(const Outcomes& outcomes) {
  EXPECT_EQ(outcomes.garbled(), 0) << "an answer came back cut";
  EXPECT_EQ(outcomes.unfinished(), 0) << "a connection was left open";
}

// Waits until the clients have sent a few requests, so that the control meets requests in flight.
void LetRequestsFly(const RequestsInFlight& load) {
  const uint32_t start = platform::GetTickCount();
  while (load.Sent() < 20 && platform::GetTickCount() - start < kPatience) platform::Sleep(5);
}

TEST_F(ServiceFaultTest, AStopWhileRequestsAreInFlightEndsThemAndTheServiceStartsAgain) {
  const int first = NextRequests(RequestsInFlight::kClients * RequestsInFlight::kRequestsPerClient);
  {
    RequestsInFlight load(port_, first, logon_form_);
    LetRequestsFly(load);
    const uint32_t start = platform::GetTickCount();
    ASSERT_TRUE(Control(platform::SERVICE_CONTROL_STOP, platform::SERVICE_STOPPED));
    EXPECT_EQ(WaitForServiceProcess(), 0u) << FileText(OutputFile());
    const uint32_t stopping = platform::GetTickCount() - start;
    EXPECT_LT(stopping, 15000u) << "the stop took too long";
    const Outcomes& outcomes = load.Finish();
    std::cout << outcomes.Summary() << "; stopped in " << stopping << " ms\n";
    ExpectNoGarbledAnswers(outcomes);
    load.ExpectSilentEnded();
    Note(outcomes);
  }
  EXPECT_THAT(Trace(), HasSubstr(" Qvan stopped\r\n"));

  // The requests answered before the stop are in the log, once each; the service starts and serves
  // again, and holds what it held after its first start.
  ExpectRequestLog();
  const ProcessResources first_run = baseline_;
  expected_lines_.clear();
  maybe_lines_.clear();
  platform::DeleteFile(RequestLogFile());
  StartAndTakeBaseline();
  EXPECT_EQ(baseline_.threads, first_run.threads);
  EXPECT_EQ(baseline_.open_files, first_run.open_files);
  ExpectRecovered();
}

TEST_F(ServiceFaultTest, APauseWhileRequestsAreInFlightEndsThemAndContinueServesAgain) {
  const int first = NextRequests(RequestsInFlight::kClients * RequestsInFlight::kRequestsPerClient);
  {
    RequestsInFlight load(port_, first, logon_form_);
    LetRequestsFly(load);
    ASSERT_TRUE(Control(platform::SERVICE_CONTROL_PAUSE, platform::SERVICE_PAUSED));
    const Outcomes& outcomes = load.Finish();
    std::cout << outcomes.Summary() << "\n";
    ExpectNoGarbledAnswers(outcomes);
    load.ExpectSilentEnded();
    Note(outcomes);
  }
  // Paused: nothing listens, and no request thread is left.
  EXPECT_FALSE(Accepts(port_));
  const std::optional<ProcessResources> paused = ReadProcessResources(service_process_.ProcessId());
  ASSERT_TRUE(paused.has_value());
  EXPECT_LT(paused->threads, baseline_.threads) << "the accepting thread has ended";

  ASSERT_TRUE(Control(platform::SERVICE_CONTROL_CONTINUE, platform::SERVICE_RUNNING));
  ExpectRecovered();
}

class TraceDirectoryRemoved : public ServiceFaultTest {
 protected:
  std::string TraceDirectory() const { return sandbox_.Path() + "/trace"; }
  void CustomiseSettings() override {
    SetMachineText(kSettingsKey, "TraceFile", TraceDirectory() + "/Qvan.trace");
  }
};

// The trace's lines are lost while its directory is missing; the service goes on answering, the
// request log keeps every line, and the service still stops in time.
TEST_F(TraceDirectoryRemoved, TheServiceAnswersAndStopsInTime) {
  ASSERT_TRUE(platform::FileExists(TraceDirectory() + "/Qvan.trace"));
  ASSERT_TRUE(platform::DeleteTree(TraceDirectory()));

  constexpr int kRequests = 5;
  for (int i = 0; i < kRequests; ++i) {
    const int n = NextRequests(1);
    const Exchange exchange = Request(n);
    EXPECT_TRUE(exchange.closed);
    EXPECT_EQ(exchange.answer, logon_form_);
    expected_lines_.push_back(LoggedPath(LogonRequestPath(n)));
  }
  ExpectRecovered();

  const uint32_t start = platform::GetTickCount();
  ASSERT_TRUE(Control(platform::SERVICE_CONTROL_STOP, platform::SERVICE_STOPPED));
  EXPECT_EQ(WaitForServiceProcess(), 0u) << FileText(OutputFile());
  const uint32_t stopping = platform::GetTickCount() - start;
  EXPECT_LT(stopping, 15000u) << "the stop took too long";
  std::cout << "stopped in " << stopping << " ms\n";
}

}  // namespace
}  // namespace qv
