#include "store/calendar_import.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "store/calendar_rows.h"
#include "store/ical_event.h"

namespace qv {

namespace {

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

// Two RECURRENCE-IDs that name the same instance as written.
bool SameInstance(const ical::Property& a, const ical::Property& b) {
  const std::string* zone_a = a.Param("TZID");
  const std::string* zone_b = b.Param("TZID");
  return a.Value() == b.Value() &&
         (zone_a == nullptr ? zone_b == nullptr : zone_b != nullptr && *zone_a == *zone_b);
}

// The VEVENTs of one UID in a file.
struct EventGroup {
  std::string uid;
  int line = 0;
  const ical::Component* event = nullptr;
  std::vector<const ical::Component*> instances;
};

std::string SourceOf(const EventGroup& group) {
  std::string source;
  if (group.event != nullptr) ical::WriteComponent(*group.event, false, &source);
  for (const ical::Component* instance : group.instances) ical::WriteComponent(*instance, false, &source);
  return source;
}

// An event ready to be written.
struct PreparedEvent {
  const EventGroup* group = nullptr;
  std::unique_ptr<ical::EventSeries> series;
  std::vector<ical::Occurrence> occurrences;
  std::optional<TDateTime> expanded_until;
};

// Writes an event with its texts and appointments in place of a stored event of the same UID.
class EventWriter {
 public:
  EventWriter(platform::SqliteDatabase& database, int64_t mailbox_id)
      : database_(database),
        mailbox_id_(mailbox_id),
        drop_event_(database.Prepare("DELETE FROM events WHERE mailbox_id = ?1 AND uid = ?2")),
        insert_event_(database.Prepare(
            "INSERT INTO events (mailbox_id, uid, source, expanded_until) VALUES (?1, ?2, ?3, ?4)")),
        insert_texts_(database.Prepare(
            "INSERT INTO texts (event_id, subject, location, body) VALUES (?1, ?2, ?3, ?4)")),
        appointments_(database) {}

  // True when the event replaced a stored one.
  bool Write(const PreparedEvent& event) {
    const bool replaced = DropStored(event.group->uid);
    const int64_t event_id = InsertEvent(event);
    const std::vector<int64_t> text_ids = InsertTexts(event_id, event.series->Texts());
    for (const ical::Occurrence& occurrence : event.occurrences)
      appointments_.Write(mailbox_id_, occurrence, text_ids[occurrence.texts]);
    return replaced;
  }

 private:
  bool DropStored(const std::string& uid) {
    drop_event_.Reset();
    drop_event_.Bind(1, mailbox_id_).Bind(2, uid).Run();
    return database_.Changes() > 0;
  }

  int64_t InsertEvent(const PreparedEvent& event) {
    insert_event_.Reset();
    insert_event_.Bind(1, mailbox_id_).Bind(2, event.group->uid).Bind(3, SourceOf(*event.group));
    if (event.expanded_until) {
      insert_event_.Bind(4, *event.expanded_until);
    } else {
      insert_event_.BindNull(4);
    }
    insert_event_.Run();
    return database_.LastInsertRowId();
  }

  std::vector<int64_t> InsertTexts(int64_t event_id, const std::vector<ical::EventTexts>& all_texts) {
    std::vector<int64_t> text_ids;
    for (const ical::EventTexts& texts : all_texts) {
      insert_texts_.Reset();
      insert_texts_.Bind(1, event_id)
          .Bind(2, texts.subject)
          .Bind(3, texts.location)
          .Bind(4, texts.description)
          .Run();
      text_ids.push_back(database_.LastInsertRowId());
    }
    return text_ids;
  }

  platform::SqliteDatabase& database_;
  const int64_t mailbox_id_;
  platform::SqliteStatement drop_event_;
  platform::SqliteStatement insert_event_;
  platform::SqliteStatement insert_texts_;
  AppointmentWriter appointments_;
};

// One file's import. The stages run in order, each on what the earlier ones left in the members;
// the report collects the notes, skipped entries and counts as they go.
class CalendarImport {
 public:
  CalendarImport(platform::SqliteDatabase& database, int64_t mailbox_id,
                 const std::vector<ical::Component>& calendars)
      : database_(database), mailbox_id_(mailbox_id), calendars_(calendars) {}

  ImportReport Run(bool replace, const ImportProgress& progress) {
    DefineTimeZones();
    GroupEventsByUid();
    // The write lock, from the look-up of stored events to the commit: what was looked up is still
    // so when the events are written.
    platform::SqliteDatabase::Transaction transaction(database_);
    if (!replace) JoinStoredEvents();
    Write(Interpret(), replace, progress);
    NumberAppointments(database_, mailbox_id_);
    transaction.Commit();
    return std::move(report_);
  }

 private:
  // First, since an event may name a zone that the file defines after it or an earlier import brought.
  void DefineTimeZones() {
    LoadTimeZones(database_, mailbox_id_, zones_);
    for (const ical::Component& calendar : calendars_) {
      for (const ical::Component& component : calendar.components) {
        if (component.name != "VTIMEZONE") continue;
        if (zones_.Define(component)) {
          zone_definitions_.push_back(&component);
        } else {
          report_.notes.push_back(
              {component.line, "", "a VTIMEZONE without a usable definition was left out"});
        }
      }
    }
  }

  // An event and its overridden instances may stand anywhere in the file: gathered before any is read.
  void GroupEventsByUid() {
    std::map<std::string, size_t> group_of_uid;
    for (const ical::Component& calendar : calendars_) {
      for (const ical::Component& component : calendar.components) {
        if (component.name == "VTIMEZONE") continue;
        if (component.name != "VEVENT") {
          ++report_.ignored_components[component.name];
          continue;
        }
        const std::string uid = EventUid(component);
        auto [found, added] = group_of_uid.try_emplace(uid, groups_.size());
        if (added) groups_.push_back(EventGroup{uid, component.line, nullptr, {}});
        EventGroup& group = groups_[found->second];
        if (component.Find("RECURRENCE-ID") != nullptr) {
          group.instances.push_back(&component);
        } else if (group.event == nullptr) {
          group.event = &component;
          group.line = component.line;
        } else {
          report_.skipped.push_back({component.line, uid, "a second event with the same UID"});
        }
      }
    }
  }

  // Instances without their event (an update of single meetings) must not replace the stored series.
  void JoinStoredEvents() {
    // They join the stored event of their UID and take the place of its instances of the same
    // RECURRENCE-ID; the stored ones they do not name are kept.
    auto find_source = database_.Prepare("SELECT source FROM events WHERE mailbox_id = ?1 AND uid = ?2");
    for (EventGroup& group : groups_) {
      if (group.event != nullptr) continue;
      find_source.Reset();
      find_source.Bind(1, mailbox_id_).Bind(2, group.uid);
      if (!find_source.Step()) continue;
      const StoredEvent& stored = stored_events_.emplace_back(find_source.ColumnText(0));
      group.event = stored.event;
      std::vector<const ical::Component*> kept;
      for (const ical::Component* instance : stored.instances) {
        const ical::Property& recurrence_id = *instance->Find("RECURRENCE-ID");
        if (std::none_of(group.instances.begin(), group.instances.end(), [&](const ical::Component* update) {
              return SameInstance(*update->Find("RECURRENCE-ID"), recurrence_id);
            }))
          kept.push_back(instance);
      }
      group.instances.insert(group.instances.begin(), kept.begin(), kept.end());
    }
  }

  // Every value is read here, so that a malformed one refuses the file before anything is written.
  std::vector<PreparedEvent> Interpret() {
    report_.horizon = Date() + CalendarStore::kWindowDays + 1 + CalendarStore::kHorizonReserveDays;
    std::vector<PreparedEvent> prepared;
    prepared.reserve(groups_.size());
    for (const EventGroup& group : groups_) {
      if (std::optional<PreparedEvent> event = Prepare(group)) prepared.push_back(std::move(*event));
    }
    return prepared;
  }

  // The event's occurrences, those of a rule up to the horizon; none when it is skipped.
  std::optional<PreparedEvent> Prepare(const EventGroup& group) {
    PreparedEvent event;
    event.group = &group;
    event.series = std::make_unique<ical::EventSeries>(group.event, group.instances, zones_);
    const ical::EventSeries& series = *event.series;
    if (!series.SkipReason().empty()) {
      report_.skipped.push_back({group.line, group.uid, series.SkipReason()});
      return std::nullopt;
    }
    const TDateTime until = series.HasRule() ? report_.horizon : kForever;
    constexpr size_t kLimit = CalendarStore::kMaxOccurrencesPerEvent;
    const auto expansion = series.Expand(-kForever, until, kLimit, &event.occurrences);
    if (expansion == ical::EventSeries::Expansion::kTooMany) {
      report_.skipped.push_back(
          {group.line, group.uid, "more than " + std::to_string(kLimit) + " occurrences"});
      return std::nullopt;
    }
    if (expansion == ical::EventSeries::Expansion::kMore) event.expanded_until = until;
    for (const ical::Occurrence& instance : series.Instances()) event.occurrences.push_back(instance);
    for (const ical::Note& note : series.Notes()) report_.notes.push_back({note.line, group.uid, note.text});
    if (event.occurrences.empty()) report_.notes.push_back({group.line, group.uid, "no occurrence is left"});
    return event;
  }

  // Last: a file refused by an earlier stage writes nothing.
  void Write(const std::vector<PreparedEvent>& prepared, bool replace, const ImportProgress& progress) {
    if (replace) ClearMailbox();
    WriteTimeZones();
    WriteEvents(prepared, progress);
  }

  void ClearMailbox() {
    database_.Prepare("DELETE FROM events WHERE mailbox_id = ?1").Bind(1, mailbox_id_).Run();
    database_.Prepare("DELETE FROM time_zones WHERE mailbox_id = ?1").Bind(1, mailbox_id_).Run();
  }

  // The file's zones are kept, so that a later file may name them and the events can be extended.
  void WriteTimeZones() {
    auto store_zone =
        database_.Prepare("INSERT OR REPLACE INTO time_zones (mailbox_id, tzid, source) VALUES (?1, ?2, ?3)");
    for (const ical::Component* zone : zone_definitions_) {
      std::string source;
      ical::WriteComponent(*zone, false, &source);
      store_zone.Reset();
      store_zone.Bind(1, mailbox_id_).Bind(2, zone->Find("TZID")->Value()).Bind(3, source).Run();
    }
  }

  void WriteEvents(const std::vector<PreparedEvent>& prepared, const ImportProgress& progress) {
    EventWriter writer(database_, mailbox_id_);
    size_t done = 0;
    for (const PreparedEvent& event : prepared) {
      if (writer.Write(event)) ++report_.replaced;
      report_.occurrences += event.occurrences.size();
      if (event.series->HasRule()) ++report_.recurring;
      ++report_.events;
      if (progress) progress(++done, prepared.size());
    }
  }

  platform::SqliteDatabase& database_;
  const int64_t mailbox_id_;
  const std::vector<ical::Component>& calendars_;
  ImportReport report_;
  ical::TimeZones zones_;
  std::vector<const ical::Component*> zone_definitions_;  // the file's usable VTIMEZONEs
  std::vector<EventGroup> groups_;
  std::deque<StoredEvent> stored_events_;  // what joined groups point into; a deque keeps them in place
};

}  // namespace

std::string EventUid(const ical::Component& event) {
  const ical::Property* uid = event.Find("UID");
  return uid != nullptr && !uid->Value().empty() ? std::string(uid->Value()) : SyntheticUid(event);
}

ImportReport ImportCalendars(platform::SqliteDatabase& database, int64_t mailbox_id,
                             const std::vector<ical::Component>& calendars, bool replace,
                             const ImportProgress& progress) {
  return CalendarImport(database, mailbox_id, calendars).Run(replace, progress);
}

}  // namespace qv
