// The process-wide objects of a test (the settings snapshot Config, the event log EventLog, the
// trace writer TraceWriter, the request log RequestLog), made as the service program makes them: in
// its order, each installed in its slot before the next is made (the writers read the snapshot), and
// removed in the reverse order. A test chooses which of them it has. With all four it gets the
// program's own ProcessObjects, which also enters the creating thread into the multithreaded
// apartment and registers the messaging library's drivers; with fewer, only the chosen slots are
// filled. The settings are those of the registry the state directory holds when they are made.
#pragma once

#include <optional>

#include "config/settings_snapshot.h"
#include "logging/request_log.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "service/process_objects.h"

namespace qv::testing {

// The objects to make, combined with |. A writer takes its file and switch from the snapshot, so
// choosing one without kConfigObject brings the snapshot along.
enum ProcessObject : unsigned {
  kConfigObject = 1u << 0,
  kEventLogObject = 1u << 1,
  kTraceWriterObject = 1u << 2,
  kRequestLogObject = 1u << 3,
  // Everything the program makes, the apartment and the messaging library included.
  kProgramObjects = kConfigObject | kEventLogObject | kTraceWriterObject | kRequestLogObject,
};

class ProcessWideObjects {
 public:
  // Errors of the making (a mistyped setting, an unusable registry) pass on; what was made goes again.
  explicit ProcessWideObjects(unsigned chosen = kProgramObjects);
  ProcessWideObjects(const ProcessWideObjects&) = delete;
  ProcessWideObjects& operator=(const ProcessWideObjects&) = delete;
  ~ProcessWideObjects();

 private:
  // One object and its slot's installation, made and installed together.
  template <class T>
  struct Installed {
    explicit Installed(ProcessWide<T>& slot) : installation(slot, object) {}
    T object;
    typename ProcessWide<T>::Installation installation;
  };

  std::optional<ProcessObjects> program_;
  // Declared in the order of creation, so they go in the reverse order.
  std::optional<Installed<TWCConfig>> config_;
  std::optional<Installed<TWCEventLog>> event_log_;
  std::optional<Installed<TWCTraceWriter>> trace_writer_;
  std::optional<Installed<THtmlLogWriter>> request_log_;
};

}  // namespace qv::testing
