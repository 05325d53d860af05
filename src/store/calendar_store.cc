#include "store/calendar_store.h"

#include <algorithm>
#include <cmath>

#include "platform/files/state_dir.h"
#include "platform/text/ascii_text.h"
#include "store/calendar_import.h"
#include "store/calendar_rows.h"
#include "store/ical_event.h"
#include "store/ical_reader.h"

namespace qv {

namespace {

// 2: appointments carry their ordinal in the mailbox. 3: mailboxes may be bound to a CalDAV
// collection, whose resources are mirrored. 4: a binding may name a server or home, where the
// collection is found and kept; mailboxes may be made from the collection template.
constexpr int kSchemaVersion = 4;

// Mailboxes; the events of a mailbox, one per UID, with their iCalendar text; the texts of an
// event and of each of its overridden instances; the appointments (occurrences) in start order,
// numbered by that order within their mailbox.
const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS mailboxes (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  display_name TEXT NOT NULL,
  owner_sid BLOB NOT NULL,
  caldav_url TEXT,
  caldav_user TEXT,
  caldav_allow_http INTEGER NOT NULL DEFAULT 0,
  caldav_sync_token TEXT,
  caldav_calendar TEXT NOT NULL DEFAULT '',
  caldav_collection TEXT,
  caldav_from_template INTEGER NOT NULL DEFAULT 0,
  caldav_last_used REAL);
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
  text_id INTEGER NOT NULL REFERENCES texts(id) ON DELETE CASCADE,
  ordinal INTEGER);
CREATE INDEX IF NOT EXISTS appointments_by_start ON appointments(mailbox_id, start_time, id);
CREATE INDEX IF NOT EXISTS appointments_by_ordinal ON appointments(mailbox_id, ordinal);
CREATE INDEX IF NOT EXISTS appointments_by_span ON appointments(mailbox_id, span_class, start_time);
CREATE INDEX IF NOT EXISTS appointments_of_text ON appointments(text_id);
)sql";

// The mirrored resources of a bound mailbox: in a new store and in the third schema's upgrade.
const char* const kCalDAVResources = R"sql(
CREATE TABLE IF NOT EXISTS caldav_resources (
  mailbox_id INTEGER NOT NULL REFERENCES mailboxes(id) ON DELETE CASCADE,
  href TEXT NOT NULL,
  etag TEXT NOT NULL,
  uids TEXT NOT NULL,
  PRIMARY KEY (mailbox_id, href));
)sql";

// What the second schema's mailboxes lack of the third's.
const char* const kCalDAVColumns = R"sql(
ALTER TABLE mailboxes ADD COLUMN caldav_url TEXT;
ALTER TABLE mailboxes ADD COLUMN caldav_user TEXT;
ALTER TABLE mailboxes ADD COLUMN caldav_allow_http INTEGER NOT NULL DEFAULT 0;
ALTER TABLE mailboxes ADD COLUMN caldav_sync_token TEXT;
)sql";

// What the third schema's mailboxes lack of the fourth's.
const char* const kDiscoveryColumns = R"sql(
ALTER TABLE mailboxes ADD COLUMN caldav_calendar TEXT NOT NULL DEFAULT '';
ALTER TABLE mailboxes ADD COLUMN caldav_collection TEXT;
ALTER TABLE mailboxes ADD COLUMN caldav_from_template INTEGER NOT NULL DEFAULT 0;
ALTER TABLE mailboxes ADD COLUMN caldav_last_used REAL;
)sql";

constexpr const char* kMailboxColumns =
    "m.id, m.name, m.display_name, m.owner_sid, m.caldav_url, m.caldav_user, m.caldav_allow_http, "
    "m.caldav_calendar, m.caldav_collection, m.caldav_from_template";
constexpr int kMailboxColumnCount = 10;

MailboxRecord ReadMailbox(const platform::SqliteStatement& row) {
  MailboxRecord record;
  record.id = row.ColumnInt64(0);
  record.name = row.ColumnText(1);
  record.display_name = row.ColumnText(2);
  record.owner = row.ColumnBlob(3);
  if (!row.IsNull(4)) {
    CalDAVBinding& binding = record.caldav.emplace();
    binding.url = row.ColumnText(4);
    binding.user = row.ColumnText(5);
    binding.allow_http = row.ColumnInt64(6) != 0;
    binding.calendar = row.ColumnText(7);
    if (!row.IsNull(8)) binding.collection = row.ColumnText(8);
    binding.from_template = row.ColumnInt64(9) != 0;
  }
  return record;
}

// Empties a bound mailbox's mirror: its events (their texts and appointments go with them), zones,
// resources and sync token.
void ClearMirror(platform::SqliteDatabase& database, int64_t mailbox_id) {
  for (const char* statement :
       {"DELETE FROM events WHERE mailbox_id = ?1", "DELETE FROM time_zones WHERE mailbox_id = ?1",
        "DELETE FROM caldav_resources WHERE mailbox_id = ?1",
        "UPDATE mailboxes SET caldav_sync_token = NULL WHERE id = ?1"})
    database.Prepare(statement).Bind(1, mailbox_id).Run();
}

// An event whose occurrences are stored only up to some day.
struct EventBehind {
  int64_t id;
  std::string source;
  TDateTime expanded_until;
};

// Asked without the write lock, which most windows then need not take.
bool AnyEventBehind(platform::SqliteDatabase& database, int64_t mailbox_id, TDateTime latest_start) {
  auto query = database.Prepare(
      "SELECT MIN(expanded_until) FROM events WHERE mailbox_id = ?1 AND expanded_until IS NOT NULL");
  query.Bind(1, mailbox_id);
  return query.Step() && !query.IsNull(0) && query.ColumnDouble(0) < latest_start;
}

std::vector<EventBehind> EventsBehind(platform::SqliteDatabase& database, int64_t mailbox_id,
                                      TDateTime latest_start) {
  auto query = database.Prepare(
      "SELECT id, source, expanded_until FROM events "
      "WHERE mailbox_id = ?1 AND expanded_until IS NOT NULL AND expanded_until < ?2");
  query.Bind(1, mailbox_id).Bind(2, latest_start);
  std::vector<EventBehind> events;
  while (query.Step()) events.push_back({query.ColumnInt64(0), query.ColumnText(1), query.ColumnDouble(2)});
  return events;
}

// Stores the further occurrences of events up to one day, the texts being those of the event itself.
class EventExtender {
 public:
  EventExtender(platform::SqliteDatabase& database, int64_t mailbox_id, TDateTime until)
      : mailbox_id_(mailbox_id),
        until_(until),
        first_texts_(database.Prepare("SELECT MIN(id) FROM texts WHERE event_id = ?1")),
        update_(database.Prepare("UPDATE events SET expanded_until = ?2 WHERE id = ?1")),
        appointments_(database) {
    LoadTimeZones(database, mailbox_id, zones_);
  }

  void Extend(const EventBehind& event) {
    const StoredEvent stored(event.source);
    const ical::EventSeries series(stored.event, stored.instances, zones_);
    std::vector<ical::Occurrence> occurrences;
    const auto expansion =
        series.Expand(event.expanded_until, until_, CalendarStore::kMaxOccurrencesPerEvent, &occurrences);
    // An event too dense for the range stops growing; what is stored stays.
    if (expansion != ical::EventSeries::Expansion::kTooMany) {
      const int64_t text_id = EventTextsId(event.id);
      for (const ical::Occurrence& occurrence : occurrences)
        appointments_.Write(mailbox_id_, occurrence, text_id);
    }
    update_.Reset();
    update_.Bind(1, event.id);
    if (expansion == ical::EventSeries::Expansion::kMore) {
      update_.Bind(2, until_);
    } else {
      update_.BindNull(2);
    }
    update_.Run();
  }

 private:
  // The texts of the event itself, the first written.
  int64_t EventTextsId(int64_t event_id) {
    first_texts_.Reset();
    first_texts_.Bind(1, event_id).Step();
    const int64_t text_id = first_texts_.ColumnInt64(0);
    first_texts_.Reset();
    return text_id;
  }

  const int64_t mailbox_id_;
  const TDateTime until_;
  ical::TimeZones zones_;
  platform::SqliteStatement first_texts_;
  platform::SqliteStatement update_;
  AppointmentWriter appointments_;
};

}  // namespace

bool ComesBefore(const AppointmentRecord& a, const AppointmentRecord& b) {
  if (a.start != b.start) return a.start < b.start;
  if (a.end != b.end) return a.end < b.end;
  // std::string compares as unsigned bytes, as SQLite's BINARY collation does.
  if (const int subject = a.subject.compare(b.subject); subject != 0) return subject < 0;
  if (const int uid = a.uid.compare(b.uid); uid != 0) return uid < 0;
  return a.id < b.id;
}

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
  if (found == 0) CreateSchema();
  if (found > 0 && found < kSchemaVersion) UpgradeSchema(found);
  if (found == 0 && machine_store) registration_ = RegisterStoreProgram(StoreProgramFile(), false);
}

void CalendarStore::CreateSchema() {
  database_.Exec("PRAGMA journal_mode = WAL");
  platform::SqliteDatabase::Transaction transaction(database_);
  database_.Exec(kSchema);
  database_.Exec(kCalDAVResources);
  database_.Exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
  transaction.Commit();
}

void CalendarStore::UpgradeSchema(int64_t found) {
  platform::SqliteDatabase::Transaction transaction(database_);
  // Another process may have done it while this one waited for the lock.
  auto version = database_.Prepare("PRAGMA user_version");
  if (version.Step()) found = version.ColumnInt64(0);
  version.Reset();
  if (found >= kSchemaVersion) return;
  if (found < 2) {
    database_.Exec(
        "ALTER TABLE appointments ADD COLUMN ordinal INTEGER;"
        "CREATE INDEX appointments_by_ordinal ON appointments(mailbox_id, ordinal);");
    auto mailboxes = database_.Prepare("SELECT id FROM mailboxes");
    while (mailboxes.Step()) NumberAppointments(database_, mailboxes.ColumnInt64(0));
  }
  if (found < 3) {
    database_.Exec(kCalDAVColumns);
    database_.Exec(kCalDAVResources);
  }
  database_.Exec(kDiscoveryColumns);
  database_.Exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
  transaction.Commit();
}

void CalendarStore::AddMailbox(const std::string& name, const std::string& display_name,
                               const platform::Sid& owner) {
  if (!platform::IsValidSid(owner)) throw ECalendarStoreError("The owner's SID is not valid");
  InsertMailbox(name, display_name, owner, nullptr);
}

void CalendarStore::AddCalDAVMailbox(const std::string& name, const std::string& display_name,
                                     const CalDAVBinding& binding) {
  CheckBinding(binding);
  InsertMailbox(name, display_name, platform::Sid(), &binding);
}

void CalendarStore::CheckBinding(const CalDAVBinding& binding) {
  const std::string scheme = AsciiLowerCase(binding.url.substr(0, binding.url.find(':')));
  if ((scheme != "http" && scheme != "https") || binding.url.find("://") != scheme.size())
    throw ECalendarStoreError("The collection's URL must begin with https:// or http://");
  if (binding.user.empty()) throw ECalendarStoreError("A CalDAV mailbox needs a user");
  if ((binding.url + binding.calendar + binding.collection).find_first_of("\r\n") != std::string::npos)
    throw ECalendarStoreError("A CalDAV binding cannot hold a line break");
}

bool CalendarStore::ChangeMailbox(const std::string& name, const MailboxChange& change) {
  if (change.owner && change.caldav)
    throw ECalendarStoreError("A mailbox has an owner or a CalDAV collection, not both");
  if (change.owner && !platform::IsValidSid(*change.owner))
    throw ECalendarStoreError("The owner's SID is not valid");
  if (change.caldav) CheckBinding(*change.caldav);
  platform::SqliteDatabase::Transaction transaction(database_);
  const MailboxRecord mailbox = RequireMailbox(name);
  if (change.display_name) {
    database_.Prepare("UPDATE mailboxes SET display_name = ?2 WHERE id = ?1")
        .Bind(1, mailbox.id)
        .Bind(2, *change.display_name)
        .Run();
  }
  bool emptied = false;
  if (change.owner) {
    database_
        .Prepare(
            "UPDATE mailboxes SET owner_sid = ?2, caldav_url = NULL, caldav_user = NULL, caldav_allow_http = 0, "
            "caldav_calendar = '', caldav_collection = NULL, caldav_from_template = 0, caldav_last_used = NULL "
            "WHERE id = ?1")
        .Bind(1, mailbox.id)
        .BindBlob(2, *change.owner)
        .Run();
    emptied = mailbox.caldav.has_value();
  }
  if (change.caldav) {
    const CalDAVBinding& binding = *change.caldav;
    emptied = !mailbox.caldav || mailbox.caldav->url != binding.url || mailbox.caldav->user != binding.user ||
              mailbox.caldav->calendar != binding.calendar;
    // Another address or calendar is found anew at the next logon; the same keeps what was found.
    auto update = database_.Prepare(
        "UPDATE mailboxes SET owner_sid = ?2, caldav_url = ?3, caldav_user = ?4, caldav_allow_http = ?5, "
        "caldav_calendar = ?6, caldav_from_template = 0, "
        "caldav_collection = CASE WHEN ?7 THEN NULL ELSE caldav_collection END WHERE id = ?1");
    update.Bind(1, mailbox.id)
        .BindBlob(2, platform::Sid())
        .Bind(3, binding.url)
        .Bind(4, binding.user)
        .Bind(5, static_cast<int64_t>(binding.allow_http))
        .Bind(6, binding.calendar)
        .Bind(7, static_cast<int64_t>(emptied));
    update.Run();
  }
  // The calendar came from elsewhere: what the mailbox shows is read anew, from an import or the server.
  if (emptied) ClearMirror(database_, mailbox.id);
  transaction.Commit();
  return emptied;
}

void CalendarStore::SetCalDAVCollection(int64_t mailbox_id, const std::string& collection) {
  platform::SqliteDatabase::Transaction transaction(database_);
  auto query = database_.Prepare(
      "SELECT coalesce(caldav_collection, caldav_url) FROM mailboxes "
      "WHERE id = ?1 AND caldav_url IS NOT NULL");
  query.Bind(1, mailbox_id);
  if (!query.Step()) return;
  const std::string mirrored = query.ColumnText(0);
  query.Reset();
  // The mirror of another collection (or of the address itself, as earlier versions took it) goes.
  if (mirrored != collection) ClearMirror(database_, mailbox_id);
  auto update = database_.Prepare("UPDATE mailboxes SET caldav_collection = ?2 WHERE id = ?1");
  update.Bind(1, mailbox_id);
  if (collection.empty())
    update.BindNull(2);
  else
    update.Bind(2, collection);
  update.Run();
  transaction.Commit();
}

void CalendarStore::SetCalDAVAddress(int64_t mailbox_id, const std::string& url) {
  platform::SqliteDatabase::Transaction transaction(database_);
  ClearMirror(database_, mailbox_id);
  database_.Prepare("UPDATE mailboxes SET caldav_url = ?2, caldav_collection = NULL WHERE id = ?1")
      .Bind(1, mailbox_id)
      .Bind(2, url)
      .Run();
  transaction.Commit();
}

void CalendarStore::NoteCalDAVUse(int64_t mailbox_id, TDateTime now) {
  // Once an hour at most: a logon need not write for it.
  database_
      .Prepare(
          "UPDATE mailboxes SET caldav_last_used = ?2 WHERE id = ?1 AND caldav_from_template = 1 AND "
          "(caldav_last_used IS NULL OR caldav_last_used < ?2 - 1.0 / 24 OR caldav_last_used > ?2)")
      .Bind(1, mailbox_id)
      .Bind(2, now)
      .Run();
}

size_t CalendarStore::DropIdleTemplateMailboxes(TDateTime used_before) {
  platform::SqliteDatabase::Transaction transaction(database_);
  auto idle = database_.Prepare(
      "SELECT id FROM mailboxes WHERE caldav_from_template = 1 AND coalesce(caldav_last_used, 0) < ?1");
  idle.Bind(1, used_before);
  std::vector<int64_t> ids;
  while (idle.Step()) ids.push_back(idle.ColumnInt64(0));
  idle.Reset();
  for (const int64_t id : ids) database_.Prepare("DELETE FROM mailboxes WHERE id = ?1").Bind(1, id).Run();
  transaction.Commit();
  return ids.size();
}

void CalendarStore::InsertMailbox(const std::string& name, const std::string& display_name,
                                  const platform::Sid& owner, const CalDAVBinding* binding) {
  if (name.empty()) throw ECalendarStoreError("A mailbox needs a name");
  if (name.find_first_of("\r\n") != std::string::npos)
    throw ECalendarStoreError("A mailbox name cannot hold a line break");
  platform::SqliteDatabase::Transaction transaction(database_);
  if (FindMailbox(name)) throw ECalendarStoreError("The mailbox \"" + name + "\" exists already");
  auto insert = database_.Prepare(
      "INSERT INTO mailboxes (name, display_name, owner_sid, caldav_url, caldav_user, caldav_allow_http, "
      "caldav_calendar, caldav_collection, caldav_from_template) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  insert.Bind(1, name).Bind(2, display_name).BindBlob(3, owner);
  if (binding != nullptr) {
    insert.Bind(4, binding->url).Bind(5, binding->user).Bind(6, static_cast<int64_t>(binding->allow_http));
    insert.Bind(7, binding->calendar).Bind(9, static_cast<int64_t>(binding->from_template));
    if (binding->collection.empty())
      insert.BindNull(8);
    else
      insert.Bind(8, binding->collection);
  } else {
    insert.BindNull(4).BindNull(5).Bind(6, int64_t{0}).Bind(7, std::string()).BindNull(8).Bind(9, int64_t{0});
  }
  insert.Run();
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
  auto query =
      database_.Prepare(std::string("SELECT ") + kMailboxColumns + " FROM mailboxes m WHERE name = ?1");
  query.Bind(1, name);
  if (!query.Step()) return std::nullopt;
  return ReadMailbox(query);
}

std::vector<MailboxRecord> CalendarStore::ListMailboxes() {
  auto query = database_.Prepare(std::string("SELECT ") + kMailboxColumns +
                                 ", (SELECT COUNT(*) FROM events e WHERE e.mailbox_id = m.id) "
                                 "FROM mailboxes m ORDER BY m.name");
  std::vector<MailboxRecord> records;
  while (query.Step()) {
    MailboxRecord record = ReadMailbox(query);
    record.events = query.ColumnInt64(kMailboxColumnCount);
    records.push_back(std::move(record));
  }
  return records;
}

MailboxRecord CalendarStore::RequireMailbox(const std::string& name) {
  auto mailbox = FindMailbox(name);
  if (!mailbox) throw ECalendarStoreError("The mailbox \"" + name + "\" does not exist");
  return *mailbox;
}

ImportReport CalendarStore::Import(const std::string& mailbox_name, std::string_view ics, bool replace,
                                   const ImportProgress& progress) {
  const MailboxRecord mailbox = RequireMailbox(mailbox_name);
  if (mailbox.caldav)
    throw ECalendarStoreError("The mailbox \"" + mailbox_name +
                              "\" shows the calendar of the CalDAV collection " + mailbox.caldav->url +
                              ": change it there, not by an import");
  return ImportCalendars(database_, mailbox.id, ical::ReadCalendarFile(ics), replace, progress);
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
  if (!AnyEventBehind(database_, mailbox_id, latest_start)) return;

  platform::SqliteDatabase::Transaction transaction(database_);
  const std::vector<EventBehind> events = EventsBehind(database_, mailbox_id, latest_start);
  if (events.empty()) return;  // another connection extended them meanwhile
  EventExtender extender(database_, mailbox_id,
                         std::max(latest_start, today + kWindowDays + 1) + kHorizonReserveDays);
  for (const EventBehind& event : events) extender.Extend(event);
  NumberAppointments(database_, mailbox_id);
  transaction.Commit();
}

}  // namespace qv
