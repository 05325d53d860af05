// TVeskApplLogWriter: an event source opened for writing; writes events of the five types with any
// number of insertion strings and optional binary data. Writing takes no lock: one writer serves
// every thread of the process at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "logging/event_source.h"

namespace qv {

class TVeskApplLogWriter : public TVeskApplLog {
 public:
  // Registers the source (TVeskApplLog), then opens it on the named server (empty: this machine).
  // Raises EApplLogError "Cannot register at EventViewer. LastError: %d (%s)" when that is refused.
  TVeskApplLogWriter(const std::string& server_name, const std::string& source_name);
  ~TVeskApplLogWriter();

  // Writes one event: the strings in list order are %1, %2 ... of the message; strings and data may
  // be none. True when the log accepted it (a full or write-protected log gives false). Raises
  // EApplLogError "Cannot write to event log, because Handle is zero" without an open source and
  // "Invalid EventLogType supplied: %d" for a type outside the five.
  bool WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id,
                  const std::vector<std::string>* strings, const void* data, uint32_t data_size);
  // The same without strings and data, with the list's strings, with one string.
  bool WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id);
  bool WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id,
                  const std::vector<std::string>& strings);
  bool WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id, const std::string& text);
};

}  // namespace qv
