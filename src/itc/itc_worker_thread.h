// The ITC worker thread: a thread whose input queue is an ITC endpoint. The endpoint is connected on
// the worker itself, which then runs a message loop, so every message sent to the endpoint's name is
// handled on the worker, one after the other. Any thread queues work for it with SendToSelf. The
// creator can wait until the endpoint is connected (StartAndWait); Terminate wakes the loop through
// the endpoint; WaitForTimeout waits a bounded time for the end while answering disconnect requests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "itc/itc_endpoint.h"
#include "platform/threads/sync.h"
#include "platform/threads/thread.h"

namespace qv {

class TVeskItcThread;

using TItcThreadEvent = std::function<void(TVeskItcThread& sender)>;
using TItcThreadMessageEvent = std::function<void(TVeskItcThread& sender, const std::string& sender_name,
                                                  const void* data, uint32_t size)>;
using TItcThreadConnectEvent =
    std::function<void(TVeskItcThread& sender, const std::string& name, TenItcEventType type)>;
using TItcBeforeConnectEvent = std::function<void(TVeskItcThread& sender, std::string& name)>;
using TItcThreadWindowMessageEvent =
    std::function<void(TVeskItcThread& sender, const platform::Msg& message, bool& handled)>;

class TVeskItcThread : public platform::Thread {
 public:
  static constexpr uint32_t kStartTimeoutMs = 5000;
  static constexpr uint32_t kStopTimeoutMs = 5000;

  // Creates and wires the endpoint (named when the name is not empty), then the thread. A worker
  // created running starts at the end of this constructor; a derived class that sets up state of its
  // own in its constructor creates it suspended and starts it with StartAndWait.
  TVeskItcThread(const std::string& name, bool create_suspended);
  // Stops a running worker (Terminate, WaitForTimeout(5000), Kill when it does not end), then releases
  // the endpoint. A worker that never started is simply released.
  ~TVeskItcThread() override;

  // Resumes a suspended worker and waits up to 5000 ms until connecting is over, successfully or not;
  // false only when the worker did not get that far in time. True at once for a worker not suspended.
  bool StartAndWait();
  void SendTo(const std::string& destination, const void* data, uint32_t size);
  // Queues work for the worker: a message from its endpoint to its endpoint.
  void SendToSelf(const void* data, uint32_t size);
  // Sets Terminated and wakes the loop, which ends after the wake-up is dispatched.
  void Terminate() override;
  // Waits up to the limit for the thread's end, answering messages sent to the calling thread's
  // windows meanwhile (such as disconnect requests for its endpoints). True when it has ended.
  bool WaitForTimeout(uint32_t limit_ms);
  // The forced end (see platform::Thread::Abandon): the thread is given up and the endpoint
  // disconnected; with free_it, a worker handed over to itself with FreeWhenEnded is released.
  void Kill(bool free_it);

  TVeskItc& Itc() { return *Itc_; }

  // Handlers, called on the worker with this worker as the sender. Set them before the worker starts.
  // Each is called through a copy on the worker's stack, so a handler that is still running when its
  // worker is given up (Kill) keeps its own captured state; once it returns, it must not touch the
  // worker or its owner any more, which may be gone by then.
  TItcThreadEvent OnStart;  // after the endpoint is connected
  TItcThreadEvent OnStop;   // after the message loop has ended
  TItcThreadMessageEvent OnMessage;
  TItcThreadConnectEvent OnConnectEvent;
  TItcBeforeConnectEvent OnBeforeConnect;  // before connecting; may change the endpoint's name
  TItcThreadWindowMessageEvent OnWindowMessage;
  // Receives the exceptions raised on the worker; its sender is the worker's endpoint.
  TItcExceptionEvent OnException;

 protected:
  void Execute() override;
  virtual void DoStart();
  virtual void DoStop();
  virtual void DoConnectEvent(const std::string& name, TenItcEventType type);
  virtual void DoWindowMessage(const platform::Msg& message, bool& handled);
  virtual void DoMessage(const std::string& sender_name, const void* data, uint32_t size);
  // Called while an exception is being handled: a system exception goes to OnException when it is
  // set (anything that raises is swallowed); everything else to the default exception display.
  virtual void HandleException();

 private:
  void SignalStart();

  std::unique_ptr<TVeskItc> Itc_;
  platform::CriticalSection start_lock_;  // guards StartSignal between the creator and the worker
  std::unique_ptr<platform::Event> StartSignal;
};

}  // namespace qv
