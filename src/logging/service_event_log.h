// TWCEventLog: the service's event-log writer, source "Qvan" on this machine, with short forms for
// none to three insertion strings. The process-wide instance is EventLog.
#pragma once

#include <string>

#include "logging/event_source_writer.h"
#include "support/process_wide.h"

namespace qv {

class TWCEventLog : public TVeskApplLogWriter {
 public:
  static constexpr const char* kSourceName = "Qvan";

  TWCEventLog() : TWCEventLog("", kSourceName) {}
  TWCEventLog(const std::string& server_name, const std::string& source_name)
      : TVeskApplLogWriter(server_name, source_name) {}

  // s1 is %1, s2 %2, s3 %3 of the message.
  using TVeskApplLogWriter::WriteEvent;
  bool WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id, const std::string& s1);
  bool WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id, const std::string& s1,
                  const std::string& s2);
  bool WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id, const std::string& s1,
                  const std::string& s2, const std::string& s3);
};

// The process-wide event-log writer, installed by the program entry right after the settings snapshot.
extern ProcessWide<TWCEventLog> EventLog;

}  // namespace qv
