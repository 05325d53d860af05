#include "store/calendar_rows.h"

#include "store/calendar_store.h"

namespace qv {

void LoadTimeZones(platform::SqliteDatabase& database, int64_t mailbox_id, ical::TimeZones& zones) {
  auto query = database.Prepare("SELECT source FROM time_zones WHERE mailbox_id = ?1");
  query.Bind(1, mailbox_id);
  while (query.Step()) {
    for (const ical::Component& zone : ical::ReadComponents(query.ColumnText(0))) zones.Define(zone);
  }
}

StoredEvent::StoredEvent(const std::string& source) : components(ical::ReadComponents(source)) {
  for (const ical::Component& component : components) {
    if (component.Find("RECURRENCE-ID") != nullptr) {
      instances.push_back(&component);
    } else {
      event = &component;
    }
  }
}

void NumberAppointments(platform::SqliteDatabase& database, int64_t mailbox_id) {
  database
      .Prepare(
          "UPDATE appointments SET ordinal = numbered.n FROM ("
          "  SELECT a.id,"
          "    row_number() OVER (ORDER BY a.start_time, a.end_time, t.subject, e.uid, a.id) - 1 AS n"
          "  FROM appointments a JOIN texts t ON t.id = a.text_id JOIN events e ON e.id = t.event_id"
          "  WHERE a.mailbox_id = ?1) AS numbered "
          "WHERE appointments.id = numbered.id AND appointments.ordinal IS NOT numbered.n")
      .Bind(1, mailbox_id)
      .Run();
}

AppointmentWriter::AppointmentWriter(platform::SqliteDatabase& database)
    : insert_(database.Prepare(
          "INSERT INTO appointments (mailbox_id, start_time, end_time, all_day, span_class, text_id) "
          "VALUES (?1, ?2, ?3, ?4, ?5, ?6)")) {}

void AppointmentWriter::Write(int64_t mailbox_id, const ical::Occurrence& occurrence, int64_t text_id) {
  insert_.Reset();
  insert_.Bind(1, mailbox_id)
      .Bind(2, occurrence.start)
      .Bind(3, occurrence.end)
      .Bind(4, static_cast<int64_t>(occurrence.all_day))
      .Bind(5, static_cast<int64_t>(SpanClassOf(occurrence.start, occurrence.end)))
      .Bind(6, text_id)
      .Run();
}

}  // namespace qv
