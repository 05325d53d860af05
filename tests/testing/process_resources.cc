#include "testing/process_resources.h"

#include <filesystem>
#include <system_error>

#include "platform/clock/clock.h"
#include "platform/files/file_system.h"

namespace qv::testing {

std::optional<ProcessResources> ReadProcessResources(uint32_t process_id) {
  const std::string table = "/proc/" + std::to_string(process_id);
  std::vector<std::string> tasks;
  ProcessResources resources;
  if (!platform::ListDirectory(table + "/task", &tasks) ||
      !platform::ListDirectory(table + "/fd", &resources.descriptors))
    return std::nullopt;
  // Idle threads of the thread pool wait for work under their own name; they are no thread left over.
  for (const std::string& task : tasks) {
    std::string name;
    if (platform::ReadWholeFile(table + "/task/" + task + "/comm", &name) && name == "qv-idle\n") continue;
    ++resources.threads;
  }
  for (const std::string& descriptor : resources.descriptors) {
    std::error_code error;
    const std::string file =
        std::filesystem::read_symlink(table + "/fd/" + descriptor, error).filename().string();
    if (file == "calendar.db" || file == "calendar.db-wal" || file == "calendar.db-shm")
      ++resources.store_files;
    else
      ++resources.open_files;
  }
  return resources;
}

ProcessResources WaitForProcessResources(uint32_t process_id, const ProcessResources& baseline,
                                         uint32_t timeout_ms) {
  const uint32_t start = platform::GetTickCount();
  for (;;) {
    const std::optional<ProcessResources> now = ReadProcessResources(process_id);
    if (!now) return ProcessResources();
    if (*now == baseline || platform::GetTickCount() - start > timeout_ms) return *now;
    platform::Sleep(20);
  }
}

std::string Describe(const ProcessResources& resources) {
  std::string text = std::to_string(resources.threads) + " threads, " + std::to_string(resources.open_files) +
                     " descriptors and " + std::to_string(resources.store_files) + " of the calendar store (";
  for (size_t i = 0; i < resources.descriptors.size(); ++i)
    text += (i == 0 ? "" : " ") + resources.descriptors[i];
  return text + ")";
}

}  // namespace qv::testing
