#include "logging/service_event_log.h"

namespace qv {

constinit ProcessWide<TWCEventLog> EventLog("EventLog");

bool TWCEventLog::WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id,
                             const std::string& s1) {
  return TVeskApplLogWriter::WriteEvent(type, category, event_id, std::vector<std::string>{s1});
}

bool TWCEventLog::WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id, const std::string& s1,
                             const std::string& s2) {
  return TVeskApplLogWriter::WriteEvent(type, category, event_id, std::vector<std::string>{s1, s2});
}

bool TWCEventLog::WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id, const std::string& s1,
                             const std::string& s2, const std::string& s3) {
  return TVeskApplLogWriter::WriteEvent(type, category, event_id, std::vector<std::string>{s1, s2, s3});
}

}  // namespace qv
