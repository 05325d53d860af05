// The platform thread class: an object whose Execute body runs on a thread of its own, with the
// Terminated / Suspended / FreeWhenEnded flags, a waitable handle signalled when the thread has ended,
// a thread identifier and an end-of-thread notification.
//
// A thread object is always created suspended and starts with Resume: C++ runs no code after the
// most-derived constructor, so a body started from a base constructor could meet a half-built object.
// A class that wants its thread "created running" resumes it at the end of its own constructor.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "platform/threads/sync.h"

namespace qv::platform {

// The identifier of the calling thread (GetCurrentThreadId); never 0.
uint32_t GetCurrentThreadId();

// True on a thread whose owner has given it up with Thread::Abandon. Code that runs on such a thread
// must not touch its thread object any more: the owner may already have released it.
bool CurrentThreadAbandoned();

class Thread {
 public:
  Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // A thread that has started and not ended is told to terminate and waited for without limit (a
  // derived class whose body uses its members must stop the thread in its own destructor). A thread
  // that was never resumed never runs.
  virtual ~Thread();

  // Starts a suspended thread (ResumeThread); does nothing once it has started or was abandoned.
  void Resume();
  // Asks the body to end by setting Terminated; the body looks at it.
  virtual void Terminate();
  // Waits without limit until the body has ended; its return value.
  uint32_t WaitFor();

  // Forced end. Windows ends the thread with TerminateThread. Linux offers no safe way to end a thread
  // from outside, so the thread is given up instead: its windows are destroyed and its message queue
  // closed (a message retrieval on it reports the quit message), pending SendMessage calls to it
  // return, the handle is signalled and the object counts as ended. The system thread runs on until
  // its body returns, without touching the object again (see CurrentThreadAbandoned), and only then
  // serves another thread object.
  void Abandon();

  bool Terminated() const;
  bool Suspended() const;  // created and not yet resumed
  bool Finished() const;   // the body has ended, or the thread was abandoned
  bool FreeWhenEnded() const;
  void SetFreeWhenEnded(bool value);

  // Hands a thread object over to itself: with FreeWhenEnded set, it is released on its own thread
  // when its body ends (or at once when it has already ended). An object that an owner keeps is never
  // released by its thread, whatever the flag says.
  static void HandOver(std::unique_ptr<Thread> thread);
  // Releases an object that was handed over and whose FreeWhenEnded is set; true when it did. Called
  // from another thread after Abandon; the object is gone when this returns true.
  bool ReleaseHandedOver();

  // Signalled when the thread has ended (or was abandoned).
  const WaitableObject& Handle() const;
  uint32_t ThreadID() const;
  uint32_t ReturnValue() const;
  // The exception that escaped the body, if one did.
  std::exception_ptr FatalException() const;

  // The end-of-thread notification: called on the thread itself after the body has ended.
  std::function<void(Thread& sender)> OnTerminate;

 protected:
  // The end-of-thread notification; calls OnTerminate when it is set.
  virtual void DoTerminate();
  // The thread body.
  virtual void Execute() = 0;
  void SetReturnValue(uint32_t value);

 public:
  struct Control;  // shared between the object and its running thread

 private:
  std::shared_ptr<Control> control_;
  std::unique_ptr<WaitableObject> handle_;
  static void Run(std::shared_ptr<Control> control, Thread* thread);
};

}  // namespace qv::platform
