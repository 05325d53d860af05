// Inter-thread messaging throughput: messages per second from several sender threads to one ITC
// worker (through the worker's own endpoint, as the file writers are fed, and through endpoints of
// the senders' own), and what one post costs the sender.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "itc/itc_endpoint.h"
#include "itc/itc_worker_thread.h"

namespace {

constexpr uint32_t kPayloadSize = 64;  // about one trace line
constexpr int kMessagesPerSender = 20000;

// A worker that only counts what it receives.
class CountingWorker {
 public:
  explicit CountingWorker(const std::string& name) : worker_(name, /*create_suspended=*/true) {
    worker_.OnMessage = [this](qv::TVeskItcThread&, const std::string&, const void*, uint32_t) {
      handled_.fetch_add(1, std::memory_order_relaxed);
    };
    worker_.StartAndWait();
  }
  qv::TVeskItcThread& worker() { return worker_; }
  void WaitUntilHandled(int64_t count) const {
    while (handled_.load(std::memory_order_relaxed) < count) std::this_thread::yield();
  }

 private:
  std::atomic<int64_t> handled_{0};
  qv::TVeskItcThread worker_;
};

// Senders post through the worker's own endpoint (SendToSelf from any thread), so they take turns
// on that endpoint's lock.
void BM_SendToSelfFromSeveralThreads(benchmark::State& state) {
  const int senders = static_cast<int>(state.range(0));
  CountingWorker counting("BenchWorkerShared");
  const char payload[kPayloadSize] = {};
  int64_t sent = 0;
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s)
      threads.emplace_back([&] {
        for (int i = 0; i < kMessagesPerSender; ++i) counting.worker().SendToSelf(payload, kPayloadSize);
      });
    for (auto& thread : threads) thread.join();
    sent += static_cast<int64_t>(senders) * kMessagesPerSender;
    counting.WaitUntilHandled(sent);  // the rate counts delivery, not only posting
  }
  state.SetItemsProcessed(sent);
}
BENCHMARK(BM_SendToSelfFromSeveralThreads)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Each sender has an endpoint of its own and sends to the worker's name: the senders share only the
// directory (as readers) and the worker's queue.
void BM_SendToFromOwnEndpoints(benchmark::State& state) {
  const int senders = static_cast<int>(state.range(0));
  CountingWorker counting("BenchWorkerOwn");
  const char payload[kPayloadSize] = {};
  int64_t sent = 0;
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s)
      threads.emplace_back([&, s] {
        qv::TVeskItc sender("BenchSender" + std::to_string(s));
        sender.Connect();
        for (int i = 0; i < kMessagesPerSender; ++i) sender.SendTo("BenchWorkerOwn", payload, kPayloadSize);
        sender.Disconnect();
      });
    for (auto& thread : threads) thread.join();
    sent += static_cast<int64_t>(senders) * kMessagesPerSender;
    counting.WaitUntilHandled(sent);
  }
  state.SetItemsProcessed(sent);
}
BENCHMARK(BM_SendToFromOwnEndpoints)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The sender's cost of one message: lookup, heap block, copy and post. The worker drains meanwhile;
// every few thousand posts the timer stops until it has caught up, so the queue stays short.
void BM_PostCostPerMessage(benchmark::State& state) {
  const uint32_t size = static_cast<uint32_t>(state.range(0));
  CountingWorker counting("BenchWorkerCost");
  const std::string payload(size, 'x');
  int64_t sent = 0;
  for (auto _ : state) {
    counting.worker().SendToSelf(payload.data(), size);
    if (++sent % 4096 == 0) {
      state.PauseTiming();
      counting.WaitUntilHandled(sent);
      state.ResumeTiming();
    }
  }
  counting.WaitUntilHandled(sent);
  state.SetItemsProcessed(sent);
  state.SetBytesProcessed(sent * size);
}
BENCHMARK(BM_PostCostPerMessage)->Arg(16)->Arg(64)->Arg(1024);

}  // namespace
