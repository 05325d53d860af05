#include "store/calendar_store_pool.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"

namespace qv {

namespace {

struct Waiting {
  std::string path;
  platform::FileStamp file;
  std::unique_ptr<CalendarStore> store;
};

struct PoolState {
  std::mutex mutex;
  std::vector<Waiting> waiting;
};

// Shared with the connections handed out, which may outlive it at the end of the process.
const std::shared_ptr<PoolState>& State() {
  static const auto state = std::make_shared<PoolState>();
  return state;
}

std::shared_ptr<CalendarStore> HandOut(std::unique_ptr<CalendarStore> store, std::string path,
                                       platform::FileStamp file) {
  CalendarStore* const raw = store.get();
  return std::shared_ptr<CalendarStore>(
      raw, [owned = std::move(store), path = std::move(path), file,
            weak = std::weak_ptr<PoolState>(State())](CalendarStore*) mutable {
        const auto state = weak.lock();
        if (state == nullptr || owned->Database().InTransaction()) return;  // closed with `owned`
        const std::lock_guard<std::mutex> lock(state->mutex);
        if (state->waiting.size() < CalendarStorePool::kCapacity)
          state->waiting.push_back({std::move(path), file, std::move(owned)});
      });
}

}  // namespace

std::shared_ptr<CalendarStore> CalendarStorePool::Acquire() {
  const std::string path = platform::PlatformStateFile(CalendarStore::kFileName);
  platform::FileStamp file;
  if (platform::GetFileStamp(path, &file)) {
    std::unique_ptr<CalendarStore> store;
    {
      const std::lock_guard<std::mutex> lock(State()->mutex);
      auto& waiting = State()->waiting;
      // Connections opened before the file changed outside them (the state directory moved, another
      // store put in its place, the file checkpointed or overwritten) are closed: only a new
      // connection reads the file afresh.
      std::erase_if(waiting,
                    [&](const Waiting& entry) { return entry.path != path || !(entry.file == file); });
      if (!waiting.empty()) {
        store = std::move(waiting.back().store);
        waiting.pop_back();
      }
    }
    if (store != nullptr) return HandOut(std::move(store), path, file);
  }
  auto store = std::make_unique<CalendarStore>();
  if (!platform::GetFileStamp(path, &file)) return std::shared_ptr<CalendarStore>(std::move(store));
  return HandOut(std::move(store), path, file);
}

void CalendarStorePool::CloseWaiting() {
  std::vector<Waiting> closing;
  {
    const std::lock_guard<std::mutex> lock(State()->mutex);
    closing.swap(State()->waiting);
  }
}  // the connections close here, outside the lock

}  // namespace qv
