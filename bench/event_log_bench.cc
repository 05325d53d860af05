// The cost of the event log stand-in: writing one event (also from several threads through one
// writer, as the request threads do, and with the copy to the system log built and sent), and the
// listing of the newest events with their catalogue texts.
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>

#include "logging/service_event_log.h"
#include "platform/event_log/syslog.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "tools/qvanctl.h"

namespace {

using namespace qv;

// A fresh state directory for one benchmark; the syslog copies go to the given socket path
// (empty: none are sent).
class StateDirectory {
 public:
  explicit StateDirectory(const std::string& syslog_socket = "")
      : path_(platform::CreateTemporaryDirectory("qvbench-")) {
    platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", path_);
    platform::SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", syslog_socket);
  }
  ~StateDirectory() {
    platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", std::nullopt);
    platform::SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", std::nullopt);
    platform::DeleteTree(path_);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void BM_WriteEvent(benchmark::State& state) {
  StateDirectory directory;
  TWCEventLog log;
  for (auto _ : state) benchmark::DoNotOptimize(log.WriteEvent(eltWarning, 0, 111, "20"));
}
BENCHMARK(BM_WriteEvent);

// One writer shared by the benchmark's threads.
std::unique_ptr<StateDirectory> shared_directory;
std::unique_ptr<TWCEventLog> shared_log;

void BM_WriteEventFromThreads(benchmark::State& state) {
  if (state.thread_index() == 0) {
    shared_directory = std::make_unique<StateDirectory>();
    shared_log = std::make_unique<TWCEventLog>();
  }
  for (auto _ : state) benchmark::DoNotOptimize(shared_log->WriteEvent(eltWarning, 0, 111, "20"));
  if (state.thread_index() == 0) {
    shared_log.reset();
    shared_directory.reset();
  }
}
BENCHMARK(BM_WriteEventFromThreads)->Threads(1)->Threads(4)->Threads(8)->UseRealTime();

// With the catalogue text looked up, filled in and sent to a listening socket.
void BM_WriteEventWithSyslogCopy(benchmark::State& state) {
  StateDirectory directory;
  platform::SyslogListener listener(directory.File("log.socket"));
  platform::SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", listener.Path());
  TWCEventLog log;
  std::string datagram;
  for (auto _ : state) {
    benchmark::DoNotOptimize(log.WriteEvent(eltWarning, 0, 111, "20"));
    listener.Receive(1000, &datagram);
  }
}
BENCHMARK(BM_WriteEventWithSyslogCopy);

// "qvanctl events list -n 20" on a log of state.range(0) events.
void BM_ListNewestEvents(benchmark::State& state) {
  StateDirectory directory;
  {
    TWCEventLog log;
    for (int64_t i = 0; i < state.range(0); ++i) log.WriteEvent(eltWarning, 0, 111, std::to_string(i));
  }
  std::istringstream in;
  for (auto _ : state) {
    std::ostringstream out, err;
    tools::ToolStreams io{in, out, err};
    benchmark::DoNotOptimize(tools::RunQvanctl({"events", "list", "-n", "20"}, io));
  }
}
BENCHMARK(BM_ListNewestEvents)->Arg(100)->Arg(20000);

}  // namespace
