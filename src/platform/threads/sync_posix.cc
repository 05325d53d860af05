#include <chrono>
#include <mutex>

#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/threads/sync.h"
#include "platform/threads/waitable_state_posix.h"

namespace qv::platform {

namespace {

struct EventState : WaitableObject::State {
  EventState(bool manual, bool initial) : manual_reset(manual), signaled(initial) {}
  bool TryTake() override {
    if (!signaled) return false;
    if (!manual_reset) signaled = false;
    return true;
  }
  const bool manual_reset;
  bool signaled;
};

struct SemaphoreState : WaitableObject::State {
  SemaphoreState(int32_t initial, int32_t maximum) : count(initial), maximum_count(maximum) {}
  bool TryTake() override {
    if (count == 0) return false;
    --count;
    return true;
  }
  int32_t count;
  const int32_t maximum_count;
};

std::shared_ptr<WaitableObject::State> NewSemaphoreState(int32_t initial, int32_t maximum) {
  if (maximum <= 0 || initial < 0 || initial > maximum)
    throw EWin32Error("The parameter is incorrect.", ERROR_INVALID_PARAMETER);
  return std::make_shared<SemaphoreState>(initial, maximum);
}

}  // namespace

WaitResult WaitForSingleObject(const WaitableObject& object, uint32_t milliseconds) {
  WaitableObject::State* const state = object.state_.get();
  if (state == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WaitResult::kFailed;
  }
  std::unique_lock<std::mutex> lock(state->mutex);
  if (milliseconds == INFINITE) {
    state->changed.wait(lock, [state] { return state->TryTake(); });
    return WaitResult::kSignaled;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  if (state->changed.wait_until(lock, deadline, [state] { return state->TryTake(); }))
    return WaitResult::kSignaled;
  return WaitResult::kTimedOut;
}

Event::Event(bool manual_reset, bool initially_signaled)
    : WaitableObject(std::make_shared<EventState>(manual_reset, initially_signaled)) {}

bool Event::Set() {
  auto* event = static_cast<EventState*>(state().get());
  // Notified under the lock: a waiter that returns may release the event at once.
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signaled = true;
  // An auto-reset event lets one waiter through; the others find it taken and wait on.
  if (event->manual_reset)
    event->changed.notify_all();
  else
    event->changed.notify_one();
  return true;
}

bool Event::Reset() {
  auto* event = static_cast<EventState*>(state().get());
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signaled = false;
  return true;
}

Semaphore::Semaphore(int32_t initial_count, int32_t maximum_count)
    : WaitableObject(NewSemaphoreState(initial_count, maximum_count)) {}

bool Semaphore::Release(int32_t count, int32_t* previous_count) {
  auto* semaphore = static_cast<SemaphoreState*>(state().get());
  if (count < 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::lock_guard<std::mutex> lock(semaphore->mutex);
  if (count > semaphore->maximum_count - semaphore->count) {
    SetLastError(ERROR_TOO_MANY_POSTS);
    return false;
  }
  if (previous_count != nullptr) *previous_count = semaphore->count;
  semaphore->count += count;
  if (count == 1)
    semaphore->changed.notify_one();
  else
    semaphore->changed.notify_all();
  return true;
}

struct CriticalSection::Impl {
  std::recursive_mutex mutex;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {}
CriticalSection::~CriticalSection() = default;
void CriticalSection::Enter() {
  impl_->mutex.lock();
}
void CriticalSection::Leave() {
  impl_->mutex.unlock();
}
bool CriticalSection::TryEnter() {
  return impl_->mutex.try_lock();
}

}  // namespace qv::platform
