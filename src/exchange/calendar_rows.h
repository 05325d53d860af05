// The rows of the calendar store that its import and its extension of recurring events both touch:
// a mailbox's stored time zones and events read back, and the appointments written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/ical_event.h"
#include "exchange/ical_reader.h"
#include "platform/sqlite_database.h"

namespace qv {

// Defines the VTIMEZONEs that earlier imports stored for the mailbox.
void LoadTimeZones(platform::SqliteDatabase& database, int64_t mailbox_id, ical::TimeZones& zones);

// A stored event's source read back: the event and its overridden instances, pointing into the
// components this object owns (so it is neither copied nor moved).
struct StoredEvent {
  explicit StoredEvent(const std::string& source);
  StoredEvent(const StoredEvent&) = delete;
  StoredEvent& operator=(const StoredEvent&) = delete;

  const std::vector<ical::Component> components;
  const ical::Component* event = nullptr;  // none when only overridden instances were stored
  std::vector<const ical::Component*> instances;
};

// Writes occurrences as appointments, through one prepared statement.
class AppointmentWriter {
 public:
  explicit AppointmentWriter(platform::SqliteDatabase& database);
  void Write(int64_t mailbox_id, const ical::Occurrence& occurrence, int64_t text_id);

 private:
  platform::SqliteStatement insert_;
};

}  // namespace qv
