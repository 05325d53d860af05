// What the event log calls check of their arguments before either platform's log is reached: the
// server named, ReportEvent's type, strings and data, and ReadEventLog's flags. Each check that fails
// sets the last error and returns false, as the calls then do. Internal to the platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_log/event_log.h"

namespace qv::platform {

// This machine by any of its names: empty, ".", "localhost", the computer's name or its first label,
// with or without leading delimiters. There is no remote event log to reach.
bool IsLocalEventLogServer(std::string name);

// ReportEvent's type, insertion strings and binary data (ERROR_INVALID_PARAMETER); the strings come
// back cut to kMaxInsertionStringLength.
bool TakeEventArguments(uint16_t type, uint16_t num_strings, uint32_t data_size, const char* const* strings,
                        const void* raw_data, std::vector<std::string>* texts);

// Where a ReadEventLog call reads from: flags with exactly one of sequential and seek and one of
// forwards and backwards, records to fill and at least one record asked for (else
// ERROR_INVALID_PARAMETER).
struct EventLogReadRequest {
  bool seek = false;
  bool backwards = false;
};
bool TakeEventLogReadFlags(uint32_t flags, uint32_t max_records, const std::vector<EventLogRecord>* records,
                           EventLogReadRequest* request);

}  // namespace qv::platform
