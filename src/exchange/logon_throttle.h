// TLogonThrottle: spaces out the password checks of a mailbox whose logons keep failing, so that
// passwords cannot be guessed at full speed. After a number of failures in a row a mailbox is checked
// at most once per interval; the interval starts at the first delay and doubles with each further
// failure up to the longest; a successful logon forgets the failures. A logon inside the interval is
// refused without a check. All requests come from the gateway, so the mailbox is the key, not the
// client's address; names are compared without regard to case, as the calendar store finds
// mailboxes, and names without a mailbox are spaced out alike. Thread-safe.
//
// The connection server keeps the process's throttle for its life and installs it in LogonThrottle;
// without one installed, logons are not spaced out.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "support/process_wide.h"

namespace qv {

class TLogonThrottle {
 public:
  // Failures in a row before the spacing starts, the first and the longest interval (milliseconds);
  // negative figures count as 0, a longest interval below the first as the first. The clock gives the
  // millisecond tick (wrapping at 2^32).
  TLogonThrottle(int32_t failure_limit, int32_t first_delay_ms, int32_t max_delay_ms,
                 std::function<uint32_t()> clock);
  // With the platform's tick.
  TLogonThrottle(int32_t failure_limit, int32_t first_delay_ms, int32_t max_delay_ms);

  // True when the mailbox's password may be checked now; for a mailbox being spaced out this takes
  // the interval's one check, so that concurrent requests do not share it. False inside the interval.
  bool MayCheck(const std::string& mailbox);
  void Failed(const std::string& mailbox);
  void Succeeded(const std::string& mailbox);

  // The most mailboxes remembered; beyond it those not tried for longest are forgotten first.
  static constexpr size_t kMaxRemembered = 10000;

 private:
  struct Record {
    uint32_t failures = 0;
    uint32_t last_tick = 0;  // the last check (or failure)
  };
  // The interval after the record's failures; 0 before the spacing starts.
  uint32_t Interval(const Record& record) const;
  void Forget(uint32_t now);

  const uint32_t failure_limit_;
  const uint32_t first_delay_ms_;
  const uint32_t max_delay_ms_;
  const std::function<uint32_t()> clock_;
  std::mutex mutex_;
  std::unordered_map<std::string, Record> records_;  // by the name in lower case
};

extern ProcessWide<TLogonThrottle> LogonThrottle;

}  // namespace qv
