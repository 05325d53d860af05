// The trace writer: lines per second through the writer to the disk (from one and from several
// threads), and what one Trace call costs its caller, for a line the level filter drops and for one
// it writes (time stamp, formatting and the hand-over to the worker).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "logging/log_writer.h"
#include "logging/trace_writer.h"
#include "platform/files/file_system.h"

namespace {

// A fresh directory for the trace files of one benchmark.
class TraceDirectory {
 public:
  TraceDirectory() : path_(qv::platform::CreateTemporaryDirectory("qvbench-trace-")) {}
  ~TraceDirectory() { qv::platform::DeleteTree(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

const std::string kLine =
    "Request from: 192.168.100.200 U=someone E=CO X=12 and some more words";  // ~70 bytes
constexpr int kLinesPerRound = 10000;

// Each round: a writer traces the lines from the given number of threads and is destroyed, which
// lets the worker write everything queued first. The rate counts lines on the disk.
void BM_TraceLinesPerSecond(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  TraceDirectory directory;
  int64_t written = 0;
  int round = 0;
  for (auto _ : state) {
    const std::string path = directory.File("round" + std::to_string(round++) + ".trace");
    {
      qv::TWCTraceWriter writer(path, 3);
      std::vector<std::thread> senders;
      for (int t = 0; t < threads; ++t)
        senders.emplace_back([&] {
          for (int i = 0; i < kLinesPerRound / threads; ++i) writer.Trace(kLine, 3);
        });
      for (auto& sender : senders) sender.join();
    }
    state.PauseTiming();
    std::string content;
    qv::platform::ReadWholeFile(path, &content);
    const int64_t lines = static_cast<int64_t>(content.size() / (content.find('\n') + 1));
    if (lines != kLinesPerRound) state.SkipWithError("lines were lost");
    written += lines;
    qv::platform::DeleteFile(path);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(written);
}
BENCHMARK(BM_TraceLinesPerSecond)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

// A line above the writer's level: the comparison alone.
void BM_TraceCallFiltered(benchmark::State& state) {
  TraceDirectory directory;
  qv::TWCTraceWriter writer(directory.File("filtered.trace"), 1);
  for (auto _ : state) writer.Trace(kLine, 3);
}
BENCHMARK(BM_TraceCallFiltered);

// A line that is written: the caller's share (time stamp, line, ITC block and post). The worker
// writes meanwhile on the other core; the queue is emptied by the writer's destruction afterwards.
void BM_TraceCallWritten(benchmark::State& state) {
  TraceDirectory directory;
  auto writer = std::make_unique<qv::TWCTraceWriter>(directory.File("written.trace"), 3);
  for (auto _ : state) writer->Trace(kLine, 3);
  writer.reset();  // outside the timed loop
}
BENCHMARK(BM_TraceCallWritten)->Iterations(50000);

// The time stamp alone (the default date-time text of now), the largest part of a written line's cost.
void BM_LogTimeStamp(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(qv::LogTimeStamp());
}
BENCHMARK(BM_LogTimeStamp);

}  // namespace
