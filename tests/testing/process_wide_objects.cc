#include "testing/process_wide_objects.h"

namespace qv::testing {

ProcessWideObjects::ProcessWideObjects(unsigned chosen) {
  if (chosen == kProgramObjects) {
    program_.emplace();
    return;
  }
  if (chosen & (kConfigObject | kTraceWriterObject | kRequestLogObject)) config_.emplace(Config);
  if (chosen & kEventLogObject) event_log_.emplace(EventLog);
  if (chosen & kTraceWriterObject) trace_writer_.emplace(TraceWriter);
  if (chosen & kRequestLogObject) request_log_.emplace(RequestLog);
}

ProcessWideObjects::~ProcessWideObjects() = default;

}  // namespace qv::testing
