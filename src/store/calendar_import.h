// The import of one iCalendar file into a mailbox of the calendar store, in stages: the time zones,
// the events by UID, the stored events that lone overridden instances join, the interpretation of
// every value, and the writing. Nothing is written before the whole file is interpreted, and what is
// written goes in one transaction.
//
// Entries that are well formed but cannot become appointments are skipped with the reason: no
// DTSTART, STATUS:CANCELLED, a second event of one UID in the file, more occurrences up to the
// horizon than the store takes. Other components (VTODO, VJOURNAL ...) are counted and left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sqlite/sqlite_database.h"
#include "store/calendar_store.h"
#include "store/ical_reader.h"

namespace qv {

// The UID an event is stored under: its own, or for one without a stable one made from its text.
std::string EventUid(const ical::Component& event);

// Imports the calendars of a file (as ical::ReadCalendarFile gives them) into the mailbox, as
// CalendarStore::Import describes it. Raises ical::EIcalFormatError for a malformed value and leaves
// the store as it was.
ImportReport ImportCalendars(platform::SqliteDatabase& database, int64_t mailbox_id,
                             const std::vector<ical::Component>& calendars, bool replace,
                             const ImportProgress& progress);

}  // namespace qv
