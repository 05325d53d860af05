#include "testing/message_pump.h"

#include "platform/clock/clock.h"
#include "platform/window_messages/window_messages.h"

namespace qv::testing {

int PumpPendingMessages() {
  int dispatched = 0;
  platform::Msg msg;
  while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
    platform::TranslateMessage(&msg);
    platform::DispatchMessage(&msg);
    ++dispatched;
  }
  return dispatched;
}

bool PumpMessagesUntil(const std::function<bool()>& done, uint32_t timeout_ms) {
  const uint32_t start = platform::GetTickCount();
  for (;;) {
    PumpPendingMessages();
    if (done()) return true;
    if (platform::GetTickCount() - start > timeout_ms) return false;
    platform::Sleep(1);
  }
}

}  // namespace qv::testing
