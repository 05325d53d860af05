// The cost of the registry stand-in: reading and writing one value, and taking the settings snapshot
// (what every start of the service and the tool pays).
#include <benchmark/benchmark.h>

#include "config/wc_config.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/registry.h"

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

}  // namespace
