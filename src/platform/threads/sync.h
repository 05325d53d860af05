// Synchronisation objects in the manner of the Windows kernel objects: recursive critical sections,
// semaphores with an initial and a maximum count, auto- and manual-reset events, and the wait for one
// object with a time-out (WaitForSingleObject). Thread handles (platform/threads/thread.h) are waitable too.
#pragma once

#include <cstdint>
#include <memory>

namespace qv::platform {

// A time-out that never expires.
constexpr uint32_t INFINITE = 0xFFFFFFFF;

// What a wait ended with: WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
enum class WaitResult { kSignaled, kTimedOut, kFailed };

// Something a thread can wait for: the kernel object behind a handle. The object lives as long as
// anything refers to it, so a thread that ends after its owner gave it up still signals safely.
class WaitableObject {
 public:
  WaitableObject(const WaitableObject&) = delete;
  WaitableObject& operator=(const WaitableObject&) = delete;
  virtual ~WaitableObject();

  struct State;  // defined by the platform implementation

 protected:
  explicit WaitableObject(std::shared_ptr<State> state);
  const std::shared_ptr<State>& state() const { return state_; }

 private:
  std::shared_ptr<State> state_;
  friend WaitResult WaitForSingleObject(const WaitableObject& object, uint32_t milliseconds);
};

// Waits until the object is signalled or the time-out (milliseconds, or INFINITE) has passed. Waiting
// for an auto-reset event or a semaphore takes it (resets the event, lowers the count by one).
WaitResult WaitForSingleObject(const WaitableObject& object, uint32_t milliseconds);

// An event (CreateEvent). A manual-reset event stays signalled until Reset and releases every waiter;
// an auto-reset event releases one waiter and is reset by that wait.
class Event : public WaitableObject {
 public:
  Event(bool manual_reset, bool initially_signaled);
  bool Set();    // SetEvent
  bool Reset();  // ResetEvent
};

// A counting semaphore (CreateSemaphore). Raises EWin32Error (ERROR_INVALID_PARAMETER) when the counts
// do not satisfy 0 <= initial <= maximum and maximum > 0.
class Semaphore : public WaitableObject {
 public:
  Semaphore(int32_t initial_count, int32_t maximum_count);
  // ReleaseSemaphore: raises the count; fails with ERROR_TOO_MANY_POSTS when that would pass the
  // maximum (the count then stays as it was), ERROR_INVALID_PARAMETER for a count below 1.
  bool Release(int32_t count = 1, int32_t* previous_count = nullptr);
};

// A recursive lock (CRITICAL_SECTION): the thread that holds it may enter it again and must leave it
// as often as it entered.
class CriticalSection {
 public:
  CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection();

  void Enter();
  void Leave();
  bool TryEnter();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Holds a critical section for the life of the object.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
  ~CriticalSectionLock() { section_.Leave(); }

 private:
  CriticalSection& section_;
};

}  // namespace qv::platform
