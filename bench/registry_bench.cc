// The cost of the registry stand-in: reading and writing one value, taking the settings snapshot
// (what every start of the service and the tool pays), and importing a .reg file of 10,000 keys in
// one transaction (aim: well under a second).
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "config/settings_snapshot.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/registry/registry.h"
#include "tools/qvanctl.h"

namespace {

using namespace qv::platform;

// A fresh state directory for one benchmark.
class StateDirectory {
 public:
  StateDirectory() : path_(CreateTemporaryDirectory("qvbench-")) {
    SetEnvironmentVariable("QUORVANE_STATE_DIR", path_);
  }
  ~StateDirectory() {
    SetEnvironmentVariable("QUORVANE_STATE_DIR", std::nullopt);
    DeleteTree(path_);
  }

 private:
  std::string path_;
};

void BM_QueryValue(benchmark::State& state) {
  StateDirectory directory;
  RegKey key;
  RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Bench", 0, KEY_ALL_ACCESS, key.Receive(), nullptr);
  RegSetValueEx(key.Get(), "Port", REG_DWORD, std::string("\x50\0\0\0", 4));
  std::string data;
  uint32_t type = 0;
  for (auto _ : state) benchmark::DoNotOptimize(RegQueryValueEx(key.Get(), "Port", &type, &data));
}
BENCHMARK(BM_QueryValue);

void BM_SetValue(benchmark::State& state) {
  StateDirectory directory;
  RegKey key;
  RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Bench", 0, KEY_ALL_ACCESS, key.Receive(), nullptr);
  uint32_t counter = 0;
  for (auto _ : state) {
    ++counter;
    benchmark::DoNotOptimize(
        RegSetValueEx(key.Get(), "Counter", REG_DWORD, reinterpret_cast<const uint8_t*>(&counter), 4));
  }
}
BENCHMARK(BM_SetValue);

// The snapshot once the settings key exists (every start after the first).
void BM_SettingsSnapshot(benchmark::State& state) {
  StateDirectory directory;
  { qv::TWCConfig first; }
  for (auto _ : state) {
    qv::TWCConfig config;
    benchmark::DoNotOptimize(config.Port);
  }
}
BENCHMARK(BM_SettingsSnapshot);

// "qvanctl reg import" of 10,000 keys with a value each, into a registry that already holds them (each
// import replaces them): the text is read, checked whole, then applied in one transaction.
void BM_ImportTenThousandKeys(benchmark::State& state) {
  StateDirectory directory;
  std::string text = "REGEDIT4\r\n";
  for (int i = 0; i < 10000; ++i)
    text += "\r\n[HKEY_LOCAL_MACHINE\\Software\\Bench\\Key" + std::to_string(i) +
            "]\r\n\"Value\"=dword:" + std::to_string(10000000 + i) + "\r\n";
  for (auto _ : state) {
    std::istringstream in(text);
    std::ostringstream out, err;
    qv::tools::ToolStreams io{in, out, err};
    if (qv::tools::RunQvanctl({"reg", "import", "-"}, io) != 0) state.SkipWithError(err.str().c_str());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_ImportTenThousandKeys)->Unit(benchmark::kMillisecond);

}  // namespace
