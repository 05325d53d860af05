// A message loop for tests: the test thread dispatches what is queued for it (its endpoints' messages
// and the requests other threads send to its windows) while it waits for something to happen.
#pragma once

#include <cstdint>
#include <functional>

namespace qv::testing {

// Dispatches the calling thread's messages until done() holds; false when that takes longer than the
// time-out.
bool PumpMessagesUntil(const std::function<bool()>& done, uint32_t timeout_ms = 10000);

// Dispatches what is queued for the calling thread now; the number of messages dispatched.
int PumpPendingMessages();

}  // namespace qv::testing
