// A thread whose body is a function, for the tests of the thread class and its users.
#pragma once

#include <atomic>
#include <functional>

#include "platform/threads/sync.h"
#include "platform/threads/thread.h"

namespace qv::testing {

// A thread whose body is a function; it stops its thread in its own destructor, as a derived class must.
class FunctionThread : public platform::Thread {
 public:
  explicit FunctionThread(std::function<void(FunctionThread&)> body) : body_(std::move(body)) {}
  ~FunctionThread() override {
    Terminate();
    if (!Suspended()) platform::WaitForSingleObject(Handle(), platform::INFINITE);
    if (destroyed_ != nullptr) destroyed_->Set();
  }
  using Thread::SetReturnValue;
  platform::Event* destroyed_ = nullptr;
  std::atomic<uint32_t> body_thread_id{0};

 protected:
  void Execute() override {
    body_thread_id = platform::GetCurrentThreadId();
    body_(*this);
  }

 private:
  std::function<void(FunctionThread&)> body_;
};

}  // namespace qv::testing
