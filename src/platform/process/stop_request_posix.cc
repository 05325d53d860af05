// The stop requests are blocked signals, taken by sigwait: no handler runs at an arbitrary point of
// another thread, and the threads started later inherit the mask.
#include <signal.h>

#include <cerrno>

#include "platform/process/stop_request.h"

namespace qv::platform {

struct StopRequest::State {
  sigset_t requests;
  sigset_t previous_mask;
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
  sigemptyset(&state_->requests);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&state_->requests, signal_number);
  pthread_sigmask(SIG_BLOCK, &state_->requests, &state_->previous_mask);
}

StopRequest::~StopRequest() {
  // A request still pending would end the process as soon as the mask goes.
  const struct timespec no_wait = {0, 0};
  while (sigtimedwait(&state_->requests, nullptr, &no_wait) > 0 || errno == EINTR) {
  }
  pthread_sigmask(SIG_SETMASK, &state_->previous_mask, nullptr);
}

void StopRequest::Wait() {
  int signal_number = 0;
  while (sigwait(&state_->requests, &signal_number) != 0) {
  }
}

}  // namespace qv::platform
