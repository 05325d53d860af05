// Helpers of the event-log tests: a fresh state directory whose syslog copies go nowhere (or to a
// listener of the test), and the events of the log read back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_log/event_log.h"
#include "testing/test_state_dir.h"

namespace qv::testing {

// A fresh state directory; QUORVANE_SYSLOG_SOCKET is empty (no copies) unless a test names a socket,
// and comes back as it was afterwards.
class EventLogTestDir : public TestStateDir {
 public:
  EventLogTestDir();
  ~EventLogTestDir();
  // Sends the syslog copies of sources opened from now on to this socket path.
  void SetSyslogSocket(const std::string& path);

 private:
  std::optional<std::string> previous_syslog_;
};

// Every event of the log, oldest first.
std::vector<platform::EventLogRecord> ReadAllEvents();

// The events of one id, oldest first.
std::vector<platform::EventLogRecord> EventsWithId(uint32_t event_id);

// The program file of this test program, which carries the message catalogue.
std::string CatalogueProgram();

}  // namespace qv::testing
