// The rows of the calendar store that its import and its extension of recurring events both touch:
// a mailbox's stored time zones and events read back, and the appointments written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sqlite/sqlite_database.h"
#include "store/ical_event.h"
#include "store/ical_reader.h"

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

// Numbers the mailbox's appointments 0, 1, 2 ... in the order of the pages (their `ordinal`): by
// start, then end, subject and UID, so that appointments of the same start come in one order whatever
// the calendar's source (a file, or any CalDAV server, in whatever order it lists them); the id last.
// The ordinals let a window find its Nth appointment with one index seek. Every write of appointments calls
// it before its commit, so readers never see a mailbox's numbers out of step; only changed numbers
// are written.
void NumberAppointments(platform::SqliteDatabase& database, int64_t mailbox_id);

// Writes occurrences as appointments, through one prepared statement; they are numbered afterwards.
class AppointmentWriter {
 public:
  explicit AppointmentWriter(platform::SqliteDatabase& database);
  void Write(int64_t mailbox_id, const ical::Occurrence& occurrence, int64_t text_id);

 private:
  platform::SqliteStatement insert_;
};

}  // namespace qv
