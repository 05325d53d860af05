#include "exchange/calendar_store.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <memory>

#include "exchange/ical_event.h"
#include "exchange/ical_reader.h"
#include "platform/state_dir.h"

namespace qv {

namespace {

constexpr int kSchemaVersion = 1;

// Mailboxes; the events of a mailbox, one per UID, with their iCalendar text; the texts of an
// event and of each of its overridden instances; the appointments (occurrences) in start order.
const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS mailboxes (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  display_name TEXT NOT NULL,
  owner_sid BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS time_zones (
  mailbox_id INTEGER NOT NULL REFERENCES mailboxes(id) ON DELETE CASCADE,
  tzid TEXT NOT NULL,
  source TEXT NOT NULL,
  PRIMARY KEY (mailbox_id, tzid));
CREATE TABLE IF NOT EXISTS events (
  id INTEGER PRIMARY KEY,
  mailbox_id INTEGER NOT NULL REFERENCES mailboxes(id) ON DELETE CASCADE,
  uid TEXT NOT NULL,
  source TEXT NOT NULL,
  expanded_until REAL,
  UNIQUE (mailbox_id, uid));
CREATE INDEX IF NOT EXISTS events_to_extend ON events(mailbox_id, expanded_until)
  WHERE expanded_until IS NOT NULL;
CREATE TABLE IF NOT EXISTS texts (
  id INTEGER PRIMARY KEY,
  event_id INTEGER NOT NULL REFERENCES events(id) ON DELETE CASCADE,
  subject TEXT NOT NULL,
  location TEXT NOT NULL,
  body TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS texts_of_event ON texts(event_id);
CREATE TABLE IF NOT EXISTS appointments (
  id INTEGER PRIMARY KEY,
  mailbox_id INTEGER NOT NULL,
  start_time REAL NOT NULL,
  end_time REAL NOT NULL,
  all_day INTEGER NOT NULL,
  span_class INTEGER NOT NULL,
  text_id INTEGER NOT NULL REFERENCES texts(id) ON DELETE CASCADE);
CREATE INDEX IF NOT EXISTS appointments_by_start ON appointments(mailbox_id, start_time, id);
CREATE INDEX IF NOT EXISTS appointments_by_span ON appointments(mailbox_id, span_class, start_time);
CREATE INDEX IF NOT EXISTS appointments_of_text ON appointments(text_id);
)sql";

constexpr double kForever = 2958466;  // 10000-01-01, past every date a calendar can hold

// A stable UID for an event that has none (FNV-1a of its text), so that importing the same file
// again replaces the event instead of doubling it.
std::string SyntheticUid(const ical::Component& event) {
  std::string text;
  ical::WriteComponent(event, false, &text);
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : text) hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3ULL;
  char digits[17];
  static const char kHex[] = "0123456789abcdef";
  for (int i = 15; i >= 0; --i, hash >>= 4) digits[i] = kHex[hash & 0xF];
  digits[16] = 0;
  return std::string("quorvane-") + digits;
}

// The VEVENTs of one UID in a file.
struct EventGroup {
  std::string uid;
  int line = 0;
  const ical::Component* event = nullptr;
  std::vector<const ical::Component*> instances;
};

// An event ready to be written.
struct PreparedEvent {
  const EventGroup* group = nullptr;
  std::unique_ptr<ical::EventSeries> series;
  std::vector<ical::Occurrence> occurrences;
  std::optional<TDateTime> expanded_until;
};

// Two RECURRENCE-IDs that name the same instance as written.
bool SameInstance(const ical::Property& a, const ical::Property& b) {
  const std::string* zone_a = a.Param("TZID");
  const std::string* zone_b = b.Param("TZID");
  return a.Value() == b.Value() &&
         (zone_a == nullptr ? zone_b == nullptr : zone_b != nullptr && *zone_a == *zone_b);
}

std::string SourceOf(const EventGroup& group) {
  std::string source;
  if (group.event != nullptr) ical::WriteComponent(*group.event, false, &source);
  for (const ical::Component* instance : group.instances) ical::WriteComponent(*instance, false, &source);
  return source;
}

class AppointmentWriter {
 public:
  explicit AppointmentWriter(platform::SqliteDatabase& database)
      : insert_(database.Prepare(
            "INSERT INTO appointments (mailbox_id, start_time, end_time, all_day, span_class, text_id) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6)")) {}

  void Write(int64_t mailbox_id, const ical::Occurrence& occurrence, int64_t text_id) {
    insert_.Reset();
    insert_.Bind(1, mailbox_id)
        .Bind(2, occurrence.start)
        .Bind(3, occurrence.end)
        .Bind(4, static_cast<int64_t>(occurrence.all_day))
        .Bind(5, static_cast<int64_t>(SpanClassOf(occurrence.start, occurrence.end)))
        .Bind(6, text_id)
        .Run();
  }

 private:
  platform::SqliteStatement insert_;
};

}  // namespace

int SpanClassOf(TDateTime start, TDateTime end) {
  const double days = end - start;
  int span_class = 0;
  while (span_class < kSpanClasses - 1 && days > std::ldexp(1.0, span_class)) ++span_class;
  return span_class;
}

CalendarStore::CalendarStore() : CalendarStore(platform::PlatformStateFile(kFileName), true) {}

CalendarStore::CalendarStore(const std::string& path) : CalendarStore(path, false) {}

CalendarStore::CalendarStore(const std::string& path, bool machine_store)
    : database_(path, platform::SqliteDatabase::Mode::kReadWriteCreate) {
  database_.Exec("PRAGMA foreign_keys = ON");
  int64_t found = 0;
  {
    auto version = database_.Prepare("PRAGMA user_version");
    if (version.Step()) found = version.ColumnInt64(0);
  }
  if (found > kSchemaVersion)
    throw ECalendarStoreError("The calendar store \"" + path + "\" was written by a newer version");
  if (found < kSchemaVersion) CreateSchema();
  if (found == 0 && machine_store) registration_ = RegisterStoreProgram(StoreProgramFile(), false);
}

void CalendarStore::CreateSchema() {
  database_.Exec("PRAGMA journal_mode = WAL");
  platform::SqliteDatabase::Transaction transaction(database_);
  database_.Exec(kSchema);
  database_.Exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
  transaction.Commit();
}

void CalendarStore::AddMailbox(const std::string& name, const std::string& display_name,
                               const platform::Sid& owner) {
  if (name.empty()) throw ECalendarStoreError("A mailbox needs a name");
  if (name.find_first_of("\r\n") != std::string::npos)
    throw ECalendarStoreError("A mailbox name cannot hold a line break");
  if (!platform::IsValidSid(owner)) throw ECalendarStoreError("The owner's SID is not valid");
  platform::SqliteDatabase::Transaction transaction(database_);
  if (FindMailbox(name)) throw ECalendarStoreError("The mailbox \"" + name + "\" exists already");
  database_.Prepare("INSERT INTO mailboxes (name, display_name, owner_sid) VALUES (?1, ?2, ?3)")
      .Bind(1, name)
      .Bind(2, display_name)
      .BindBlob(3, owner)
      .Run();
  transaction.Commit();
}

bool CalendarStore::DeleteMailbox(const std::string& name) {
  platform::SqliteDatabase::Transaction transaction(database_);
  const auto mailbox = FindMailbox(name);
  if (!mailbox) return false;
  // Appointments carry no foreign key of their mailbox; they go with their texts and events.
  database_.Prepare("DELETE FROM mailboxes WHERE id = ?1").Bind(1, mailbox->id).Run();
  transaction.Commit();
  return true;
}

std::optional<MailboxRecord> CalendarStore::FindMailbox(const std::string& name) {
  auto query = database_.Prepare("SELECT id, name, display_name, owner_sid FROM mailboxes WHERE name = ?1");
  query.Bind(1, name);
  if (!query.Step()) return std::nullopt;
  MailboxRecord record;
  record.id = query.ColumnInt64(0);
  record.name = query.ColumnText(1);
  record.display_name = query.ColumnText(2);
  record.owner = query.ColumnBlob(3);
  return record;
}

std::vector<MailboxRecord> CalendarStore::ListMailboxes() {
  auto query = database_.Prepare(
      "SELECT m.id, m.name, m.display_name, m.owner_sid, "
      "(SELECT COUNT(*) FROM events e WHERE e.mailbox_id = m.id) FROM mailboxes m ORDER BY m.name");
  std::vector<MailboxRecord> records;
  while (query.Step()) {
    MailboxRecord record;
    record.id = query.ColumnInt64(0);
    record.name = query.ColumnText(1);
    record.display_name = query.ColumnText(2);
    record.owner = query.ColumnBlob(3);
    record.events = query.ColumnInt64(4);
    records.push_back(std::move(record));
  }
  return records;
}

void CalendarStore::LoadTimeZones(int64_t mailbox_id, ical::TimeZones& zones) {
  auto query = database_.Prepare("SELECT source FROM time_zones WHERE mailbox_id = ?1");
  query.Bind(1, mailbox_id);
  while (query.Step()) {
    for (const ical::Component& zone : ical::ReadComponents(query.ColumnText(0))) zones.Define(zone);
  }
}

MailboxRecord CalendarStore::RequireMailbox(const std::string& name) {
  auto mailbox = FindMailbox(name);
  if (!mailbox) throw ECalendarStoreError("The mailbox \"" + name + "\" does not exist");
  return *mailbox;
}

ImportReport CalendarStore::Import(const std::string& mailbox_name, std::string_view ics, bool replace,
                                   const ImportProgress& progress) {
  const MailboxRecord mailbox = RequireMailbox(mailbox_name);
  const std::vector<ical::Component> calendars = ical::ReadCalendarFile(ics);
  ImportReport report;

  // Time zones first: a file may define them after the events that name them, or may name those an
  // earlier import brought.
  ical::TimeZones zones;
  LoadTimeZones(mailbox.id, zones);
  std::vector<const ical::Component*> zone_definitions;
  for (const ical::Component& calendar : calendars) {
    for (const ical::Component& component : calendar.components) {
      if (component.name != "VTIMEZONE") continue;
      if (zones.Define(component)) {
        zone_definitions.push_back(&component);
      } else {
        report.notes.push_back({component.line, "", "a VTIMEZONE without a usable definition was left out"});
      }
    }
  }

  // The VEVENTs by UID, in the order of their first appearance.
  std::vector<EventGroup> groups;
  std::map<std::string, size_t> group_of_uid;
  for (const ical::Component& calendar : calendars) {
    for (const ical::Component& component : calendar.components) {
      if (component.name == "VTIMEZONE") continue;
      if (component.name != "VEVENT") {
        ++report.ignored_components[component.name];
        continue;
      }
      const ical::Property* uid_property = component.Find("UID");
      const std::string uid = uid_property != nullptr && !uid_property->Value().empty()
                                  ? std::string(uid_property->Value())
                                  : SyntheticUid(component);
      auto [found, added] = group_of_uid.try_emplace(uid, groups.size());
      if (added) groups.push_back(EventGroup{uid, component.line, nullptr, {}});
      EventGroup& group = groups[found->second];
      if (component.Find("RECURRENCE-ID") != nullptr) {
        group.instances.push_back(&component);
      } else if (group.event == nullptr) {
        group.event = &component;
        group.line = component.line;
      } else {
        report.skipped.push_back({component.line, uid, "a second event with the same UID"});
      }
    }
  }

  // Overridden instances that come without their event (an update of single meetings) join the stored
  // event of their UID instead of replacing the whole series; they replace stored instances of the
  // same RECURRENCE-ID.
  platform::SqliteDatabase::Transaction transaction(database_);
  std::deque<std::vector<ical::Component>> stored_events;
  if (!replace) {
    auto find_source = database_.Prepare("SELECT source FROM events WHERE mailbox_id = ?1 AND uid = ?2");
    for (EventGroup& group : groups) {
      if (group.event != nullptr) continue;
      find_source.Reset();
      find_source.Bind(1, mailbox.id).Bind(2, group.uid);
      if (!find_source.Step()) continue;
      const std::vector<ical::Component>& components =
          stored_events.emplace_back(ical::ReadComponents(find_source.ColumnText(0)));
      std::vector<const ical::Component*> kept;
      for (const ical::Component& component : components) {
        const ical::Property* recurrence_id = component.Find("RECURRENCE-ID");
        if (recurrence_id == nullptr) {
          group.event = &component;
        } else if (std::none_of(group.instances.begin(), group.instances.end(),
                                [&](const ical::Component* update) {
                                  return SameInstance(*update->Find("RECURRENCE-ID"), *recurrence_id);
                                })) {
          kept.push_back(&component);
        }
      }
      group.instances.insert(group.instances.begin(), kept.begin(), kept.end());
    }
  }

  // Interpretation: a malformed value refuses the whole file here, before anything is written.
  report.horizon = Date() + kWindowDays + 1 + kHorizonReserveDays;
  std::vector<PreparedEvent> prepared;
  prepared.reserve(groups.size());
  for (const EventGroup& group : groups) {
    PreparedEvent event;
    event.group = &group;
    event.series = std::make_unique<ical::EventSeries>(group.event, group.instances, zones);
    const ical::EventSeries& series = *event.series;
    if (!series.SkipReason().empty()) {
      report.skipped.push_back({group.line, group.uid, series.SkipReason()});
      continue;
    }
    const TDateTime until = series.HasRule() ? report.horizon : kForever;
    const auto expansion = series.Expand(-kForever, until, kMaxOccurrencesPerEvent, &event.occurrences);
    if (expansion == ical::EventSeries::Expansion::kTooMany) {
      report.skipped.push_back(
          {group.line, group.uid, "more than " + std::to_string(kMaxOccurrencesPerEvent) + " occurrences"});
      continue;
    }
    if (expansion == ical::EventSeries::Expansion::kMore) event.expanded_until = until;
    for (const ical::Occurrence& instance : series.Instances()) event.occurrences.push_back(instance);
    for (const ical::Note& note : series.Notes()) report.notes.push_back({note.line, group.uid, note.text});
    if (event.occurrences.empty()) report.notes.push_back({group.line, group.uid, "no occurrence is left"});
    prepared.push_back(std::move(event));
  }

  if (replace) {
    database_.Prepare("DELETE FROM events WHERE mailbox_id = ?1").Bind(1, mailbox.id).Run();
    database_.Prepare("DELETE FROM time_zones WHERE mailbox_id = ?1").Bind(1, mailbox.id).Run();
  }
  auto store_zone =
      database_.Prepare("INSERT OR REPLACE INTO time_zones (mailbox_id, tzid, source) VALUES (?1, ?2, ?3)");
  for (const ical::Component* zone : zone_definitions) {
    std::string source;
    ical::WriteComponent(*zone, false, &source);
    store_zone.Reset();
    store_zone.Bind(1, mailbox.id).Bind(2, zone->Find("TZID")->Value()).Bind(3, source).Run();
  }
  auto drop_event = database_.Prepare("DELETE FROM events WHERE mailbox_id = ?1 AND uid = ?2");
  auto insert_event = database_.Prepare(
      "INSERT INTO events (mailbox_id, uid, source, expanded_until) VALUES (?1, ?2, ?3, ?4)");
  auto insert_texts =
      database_.Prepare("INSERT INTO texts (event_id, subject, location, body) VALUES (?1, ?2, ?3, ?4)");
  AppointmentWriter appointments(database_);
  size_t done = 0;
  for (const PreparedEvent& event : prepared) {
    drop_event.Reset();
    drop_event.Bind(1, mailbox.id).Bind(2, event.group->uid).Run();
    if (database_.Changes() > 0) ++report.replaced;
    insert_event.Reset();
    insert_event.Bind(1, mailbox.id).Bind(2, event.group->uid).Bind(3, SourceOf(*event.group));
    if (event.expanded_until) {
      insert_event.Bind(4, *event.expanded_until);
    } else {
      insert_event.BindNull(4);
    }
    insert_event.Run();
    const int64_t event_id = database_.LastInsertRowId();
    std::vector<int64_t> text_ids;
    for (const ical::EventTexts& texts : event.series->Texts()) {
      insert_texts.Reset();
      insert_texts.Bind(1, event_id)
          .Bind(2, texts.subject)
          .Bind(3, texts.location)
          .Bind(4, texts.description)
          .Run();
      text_ids.push_back(database_.LastInsertRowId());
    }
    for (const ical::Occurrence& occurrence : event.occurrences)
      appointments.Write(mailbox.id, occurrence, text_ids[occurrence.texts]);
    report.occurrences += event.occurrences.size();
    ++report.events;
    if (progress) progress(++done, prepared.size());
  }
  transaction.Commit();
  return report;
}

std::string CalendarStore::Export(const std::string& mailbox_name) {
  const MailboxRecord mailbox = RequireMailbox(mailbox_name);
  std::string out;
  ical::AppendFoldedLine("BEGIN:VCALENDAR", &out);
  ical::AppendFoldedLine("VERSION:2.0", &out);
  ical::AppendFoldedLine("PRODID:-//Quorvane//Calendar store//EN", &out);
  auto append_source = [&out](const std::string& source) {
    size_t at = 0;
    while (at < source.size()) {
      size_t end = source.find('\n', at);
      if (end == std::string::npos) end = source.size();
      ical::AppendFoldedLine(std::string_view(source).substr(at, end - at), &out);
      at = end + 1;
    }
  };
  auto zones = database_.Prepare("SELECT source FROM time_zones WHERE mailbox_id = ?1 ORDER BY tzid");
  zones.Bind(1, mailbox.id);
  while (zones.Step()) append_source(zones.ColumnText(0));
  auto events = database_.Prepare("SELECT source FROM events WHERE mailbox_id = ?1 ORDER BY id");
  events.Bind(1, mailbox.id);
  while (events.Step()) append_source(events.ColumnText(0));
  ical::AppendFoldedLine("END:VCALENDAR", &out);
  return out;
}

void CalendarStore::EnsureOccurrencesBefore(int64_t mailbox_id, TDateTime requested) {
  const TDateTime today = Date();
  const TDateTime latest_start = std::min(requested, today + kMaxLookAheadDays);
  const auto behind = [&] {
    auto query = database_.Prepare(
        "SELECT MIN(expanded_until) FROM events WHERE mailbox_id = ?1 AND expanded_until IS NOT NULL");
    query.Bind(1, mailbox_id);
    return query.Step() && !query.IsNull(0) && query.ColumnDouble(0) < latest_start;
  };
  if (!behind()) return;

  platform::SqliteDatabase::Transaction transaction(database_);
  struct Pending {
    int64_t id;
    std::string source;
    TDateTime expanded_until;
  };
  std::vector<Pending> pending;
  {
    auto query = database_.Prepare(
        "SELECT id, source, expanded_until FROM events "
        "WHERE mailbox_id = ?1 AND expanded_until IS NOT NULL AND expanded_until < ?2");
    query.Bind(1, mailbox_id).Bind(2, latest_start);
    while (query.Step())
      pending.push_back({query.ColumnInt64(0), query.ColumnText(1), query.ColumnDouble(2)});
  }
  if (pending.empty()) return;  // another connection extended them meanwhile

  ical::TimeZones zones;
  LoadTimeZones(mailbox_id, zones);
  const TDateTime until = std::max(latest_start, today + kWindowDays + 1) + kHorizonReserveDays;
  auto first_texts = database_.Prepare("SELECT MIN(id) FROM texts WHERE event_id = ?1");
  auto update = database_.Prepare("UPDATE events SET expanded_until = ?2 WHERE id = ?1");
  AppointmentWriter appointments(database_);
  for (const Pending& event : pending) {
    const std::vector<ical::Component> components = ical::ReadComponents(event.source);
    const ical::Component* master = nullptr;
    std::vector<const ical::Component*> instances;
    for (const ical::Component& component : components) {
      if (component.Find("RECURRENCE-ID") != nullptr) {
        instances.push_back(&component);
      } else {
        master = &component;
      }
    }
    const ical::EventSeries series(master, instances, zones);
    std::vector<ical::Occurrence> occurrences;
    const auto expansion = series.Expand(event.expanded_until, until, kMaxOccurrencesPerEvent, &occurrences);
    first_texts.Reset();
    first_texts.Bind(1, event.id).Step();
    const int64_t text_id = first_texts.ColumnInt64(0);
    first_texts.Reset();
    // An event too dense for the range stops growing; what is stored stays.
    if (expansion != ical::EventSeries::Expansion::kTooMany) {
      for (const ical::Occurrence& occurrence : occurrences)
        appointments.Write(mailbox_id, occurrence, text_id);
    }
    update.Reset();
    update.Bind(1, event.id);
    if (expansion == ical::EventSeries::Expansion::kMore) {
      update.Bind(2, until);
    } else {
      update.BindNull(2);
    }
    update.Run();
  }
  transaction.Commit();
}

}  // namespace qv
