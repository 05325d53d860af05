// The process-wide objects of the service program, made in their fixed order: the settings snapshot
// (Config), the event-log writer (EventLog, source "Qvan"), the trace writer (TraceWriter) and the
// request log (RequestLog), each installed in its slot as soon as it exists; then the creating thread
// enters the multithreaded apartment, which the request threads share, and the calendar store's
// driver is registered as the messaging library. They go in the reverse order.
//
// The program entry makes one for the life of the process; tests make the same objects the same way.
#pragma once

#include <memory>
#include <optional>

#include "config/settings_snapshot.h"
#include "logging/request_log.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"

namespace qv {

class ProcessObjects {
 public:
  // Reads the settings and opens the event source; their errors (a mistyped setting, an unusable
  // registry, an event source that cannot be opened) pass on, and what was made before goes again.
  // A CharSet that is no plain character-set name raises ESettingError after an error event.
  ProcessObjects();
  ProcessObjects(const ProcessObjects&) = delete;
  ProcessObjects& operator=(const ProcessObjects&) = delete;
  ~ProcessObjects();

 private:
  // Enters the calling thread into the multithreaded apartment for its life.
  class Apartment {
   public:
    Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment();
  };

  // Declared in the order of creation: members go in the reverse order, every object after the ones
  // that use it.
  std::unique_ptr<TWCConfig> config_;
  std::optional<ProcessWide<TWCConfig>::Installation> config_slot_;
  std::unique_ptr<TWCEventLog> event_log_;
  std::optional<ProcessWide<TWCEventLog>::Installation> event_log_slot_;
  std::unique_ptr<TWCTraceWriter> trace_writer_;
  std::optional<ProcessWide<TWCTraceWriter>::Installation> trace_writer_slot_;
  std::unique_ptr<THtmlLogWriter> request_log_;
  std::optional<ProcessWide<THtmlLogWriter>::Installation> request_log_slot_;
  std::optional<Apartment> apartment_;
};

}  // namespace qv
