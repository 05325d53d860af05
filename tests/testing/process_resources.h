// What a running process holds, read from the system's process table (/proc on Linux) with the
// platform's file functions: its threads and its open file descriptors. The fault tests compare
// them with a baseline to find threads and descriptors left over after a scenario. The store's kept
// connections (bounded by the pool's capacity) are counted apart, as the idle threads are left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv::testing {

struct ProcessResources {
  size_t threads = 0;                    // without the thread pool's idle threads ("qv-idle")
  size_t open_files = 0;                 // without the calendar store's files, which kept connections hold
  size_t store_files = 0;                // descriptors of calendar.db and its -wal and -shm
  std::vector<std::string> descriptors;  // the numbers of the open descriptors, for messages

  bool operator==(const ProcessResources& other) const {
    return threads == other.threads && open_files == other.open_files;
  }
};

// Nothing when the process does not exist (or its table cannot be read).
std::optional<ProcessResources> ReadProcessResources(uint32_t process_id);

// Waits up to timeout_ms until the process holds what the baseline holds; what it held last.
ProcessResources WaitForProcessResources(uint32_t process_id, const ProcessResources& baseline,
                                         uint32_t timeout_ms);

std::string Describe(const ProcessResources& resources);

}  // namespace qv::testing
