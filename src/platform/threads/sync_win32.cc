// The synchronisation objects are the kernel's own: events, semaphores, critical sections, and
// WaitForSingleObject.
#include "platform/errors/system_error.h"
#include "platform/threads/sync.h"

#include "platform/threads/waitable_state_win32.h"

namespace qv::platform {

namespace {

// A kernel object for an event or a semaphore; raises when the system has none to give.
std::shared_ptr<WaitableObject::State> Owned(HANDLE object) {
  if (object == nullptr) RaiseSystemError(::GetLastError());
  return std::make_shared<WaitableObject::State>(object);
}

std::shared_ptr<WaitableObject::State> NewSemaphoreState(int32_t initial, int32_t maximum) {
  if (maximum <= 0 || initial < 0 || initial > maximum) ::SetLastError(ERROR_INVALID_PARAMETER);
  return Owned(maximum <= 0 || initial < 0 || initial > maximum
                   ? nullptr
                   : ::CreateSemaphoreW(nullptr, initial, maximum, nullptr));
}

}  // namespace

WaitResult WaitForSingleObject(const WaitableObject& object, uint32_t milliseconds) {
  WaitableObject::State* const state = object.state_.get();
  if (state == nullptr || !state->handle) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return WaitResult::kFailed;
  }
  switch (::WaitForSingleObject(state->handle.get(), milliseconds)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      return WaitResult::kSignaled;
    case WAIT_TIMEOUT:
      return WaitResult::kTimedOut;
    default:
      return WaitResult::kFailed;
  }
}

Event::Event(bool manual_reset, bool initially_signaled)
    : WaitableObject(Owned(::CreateEventW(nullptr, manual_reset, initially_signaled, nullptr))) {}

bool Event::Set() {
  return ::SetEvent(state()->handle.get()) != 0;
}

bool Event::Reset() {
  return ::ResetEvent(state()->handle.get()) != 0;
}

Semaphore::Semaphore(int32_t initial_count, int32_t maximum_count)
    : WaitableObject(NewSemaphoreState(initial_count, maximum_count)) {}

bool Semaphore::Release(int32_t count, int32_t* previous_count) {
  if (count < 1) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  LONG previous = 0;
  if (!::ReleaseSemaphore(state()->handle.get(), count, &previous)) return false;
  if (previous_count != nullptr) *previous_count = previous;
  return true;
}

struct CriticalSection::Impl {
  Impl() { ::InitializeCriticalSection(&section); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { ::DeleteCriticalSection(&section); }
  CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {}
CriticalSection::~CriticalSection() = default;
void CriticalSection::Enter() {
  ::EnterCriticalSection(&impl_->section);
}
void CriticalSection::Leave() {
  ::LeaveCriticalSection(&impl_->section);
}
bool CriticalSection::TryEnter() {
  return ::TryEnterCriticalSection(&impl_->section) != 0;
}

}  // namespace qv::platform
