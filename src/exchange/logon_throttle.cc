#include "exchange/logon_throttle.h"

#include <algorithm>
#include <utility>

#include "platform/clock/clock.h"
#include "platform/text/ascii_text.h"

namespace qv {

constinit ProcessWide<TLogonThrottle> LogonThrottle("LogonThrottle");

namespace {

uint32_t NotNegative(int32_t value) {
  return static_cast<uint32_t>(std::max(value, 0));
}

}  // namespace

TLogonThrottle::TLogonThrottle(int32_t failure_limit, int32_t first_delay_ms, int32_t max_delay_ms,
                               std::function<uint32_t()> clock)
    : failure_limit_(NotNegative(failure_limit)),
      first_delay_ms_(NotNegative(first_delay_ms)),
      max_delay_ms_(std::max(NotNegative(max_delay_ms), NotNegative(first_delay_ms))),
      clock_(std::move(clock)) {}

TLogonThrottle::TLogonThrottle(int32_t failure_limit, int32_t first_delay_ms, int32_t max_delay_ms)
    : TLogonThrottle(failure_limit, first_delay_ms, max_delay_ms, [] { return platform::GetTickCount(); }) {}

uint32_t TLogonThrottle::Interval(const Record& record) const {
  if (record.failures < failure_limit_ || record.failures == 0) return 0;
  const uint32_t doublings = std::min<uint32_t>(record.failures - failure_limit_, 32);
  const uint64_t interval = static_cast<uint64_t>(first_delay_ms_) << doublings;
  return static_cast<uint32_t>(std::min<uint64_t>(interval, max_delay_ms_));
}

bool TLogonThrottle::MayCheck(const std::string& mailbox) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = records_.find(AsciiLowerCase(mailbox));
  if (found == records_.end()) return true;
  Record& record = found->second;
  const uint32_t interval = Interval(record);
  if (interval == 0) return true;
  const uint32_t now = clock_();
  if (now - record.last_tick < interval) return false;  // modulo 2^32
  record.last_tick = now;
  return true;
}

void TLogonThrottle::Failed(const std::string& mailbox) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t now = clock_();
  std::string key = AsciiLowerCase(mailbox);
  if (records_.size() >= kMaxRemembered && records_.count(key) == 0) Forget(now);
  Record& record = records_[std::move(key)];
  if (record.failures < UINT32_MAX) ++record.failures;
  record.last_tick = now;
}

void TLogonThrottle::Succeeded(const std::string& mailbox) {
  const std::lock_guard<std::mutex> lock(mutex_);
  records_.erase(AsciiLowerCase(mailbox));
}

// Mailboxes whose interval ran out twice over are forgotten; when that frees nothing, the one tried
// longest ago goes.
void TLogonThrottle::Forget(uint32_t now) {
  const uint64_t keep_ms = 2 * static_cast<uint64_t>(max_delay_ms_);
  std::erase_if(records_, [&](const auto& entry) { return now - entry.second.last_tick > keep_ms; });
  if (records_.size() < kMaxRemembered) return;
  const auto oldest = std::max_element(records_.begin(), records_.end(), [now](const auto& a, const auto& b) {
    return now - a.second.last_tick < now - b.second.last_tick;
  });
  records_.erase(oldest);
}

}  // namespace qv
