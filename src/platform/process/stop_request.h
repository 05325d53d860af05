// Waiting in the foreground for the request to stop a program: Ctrl+C, or the system asking it to end
// (SIGINT, SIGTERM and SIGHUP on Linux; the console's control events on Windows). While a StopRequest
// lives, such a request no longer ends the process on the spot: Wait returns, and the program
// releases what it holds in order.
#pragma once

#include <memory>

namespace qv::platform {

class StopRequest {
 public:
  // Make it before the program starts any thread: on Linux the threads started afterwards leave the
  // requests to it, while one started before would still be ended by them.
  StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;
  // A request that came after the last Wait is dropped; later ones end the process again.
  ~StopRequest();

  // Returns when a request comes; one that came before the call counts.
  void Wait();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qv::platform
