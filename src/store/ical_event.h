// What the VEVENTs of a calendar mean as appointments: their times in the server's local time,
// their texts, and the occurrences of recurring events (RRULE, RDATE, EXDATE and overridden
// instances). libical does the time-zone arithmetic and walks the recurrence rules.
//
// A TZID goes through libical's zones (the file's VTIMEZONE, else the built-in one), a UTC time through
// the platform's local time; floating times and dates stay as written. Rules are walked in the event's
// own zone, so a 9:00 meeting in New York moves here when only one side has changed its clocks.
// DTSTART is always the first occurrence, also when the rule would not make it. Without DTEND and
// DURATION a timed event lasts no time and an all-day event one day. An overridden instance takes what
// it does not say (texts, length) from its event; a cancelled one removes its occurrence; one without
// its event is an appointment of its own. Doubtful values are kept as a note says (an unknown TZID as
// the server's local time, an end before the start, EXRULE left out, RANGE=THISANDFUTURE for the one
// instance ...). Malformed, refusing the file: an unreadable DTSTART, DTEND, DURATION, RRULE, RDATE,
// EXDATE or RECURRENCE-ID, or a date that does not exist.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "store/ical_reader.h"
#include "support/date_time.h"

typedef struct _icaltimezone icaltimezone;

namespace qv::ical {

// The time zones a calendar may name: the VTIMEZONE definitions it brings, then libical's built-in
// zones (the names of the system's zone database, such as "Europe/Berlin").
class TimeZones {
 public:
  TimeZones();
  TimeZones(const TimeZones&) = delete;
  TimeZones& operator=(const TimeZones&) = delete;
  ~TimeZones();

  // Adds a VTIMEZONE (a later definition of the same TZID replaces the earlier one). False when it
  // has no TZID or libical cannot use it; its TZID then stays unknown.
  bool Define(const Component& vtimezone);
  // The zone of a TZID, or nullptr when neither a definition nor the built-in zones know it.
  icaltimezone* Find(const std::string& tzid);

 private:
  struct ZoneDeleter {
    void operator()(icaltimezone* zone) const;
  };
  std::map<std::string, std::unique_ptr<icaltimezone, ZoneDeleter>> defined_;
  std::map<std::string, icaltimezone*> builtin_;
};

// Subject, location and text of an appointment, in UTF-8.
struct EventTexts {
  std::string subject;
  std::string location;
  std::string description;
};

// One appointment: times in the server's local time.
struct Occurrence {
  TDateTime start = 0;
  TDateTime end = 0;
  bool all_day = false;
  size_t texts = 0;  // index into EventSeries::Texts()
};

// What was made of a doubtful entry, by line.
struct Note {
  int line = 0;
  std::string text;
};

// A value the time arithmetic works with: an instant (seconds since 1970 UTC) or, for floating
// times and dates, the wall-clock time counted the same way.
struct Moment {
  int64_t seconds = 0;
  bool floating = false;
};

// A date or date-time value as written, with the zone it names.
struct TimeValue {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool is_date = false;
  bool is_utc = false;
  icaltimezone* zone = nullptr;  // the zone of a TZID, when known
};

// The VEVENTs of one UID: the event itself (absent when a file brings only an overridden instance)
// and its overridden instances (VEVENTs with RECURRENCE-ID).
class EventSeries {
 public:
  // Reads the values the store needs; raises EIcalFormatError for a malformed one.
  EventSeries(const Component* event, const std::vector<const Component*>& instances, TimeZones& zones);
  EventSeries(const EventSeries&) = delete;
  EventSeries& operator=(const EventSeries&) = delete;
  ~EventSeries();

  // Why the series cannot become appointments ("no DTSTART", "cancelled"); empty when it can.
  const std::string& SkipReason() const { return skip_reason_; }
  // Doubtful values and what was made of them.
  const std::vector<Note>& Notes() const { return notes_; }
  // [0] the event's texts (empty without the event), then one per overridden instance.
  const std::vector<EventTexts>& Texts() const { return texts_; }
  // True when the event has a recurrence rule, so that its occurrences may go on without end.
  bool HasRule() const { return !rules_.empty(); }

  enum class Expansion {
    kComplete,  // no occurrence starts at or after `until`
    kMore,      // further occurrences start at or after `until`
    kTooMany    // more than `limit` occurrences, or a rule too dense to walk
  };
  // The occurrences of the event itself that start in [from, until), in start order: DTSTART (always
  // the first), the RRULE and RDATE occurrences, less EXDATE and the overridden instances.
  Expansion Expand(TDateTime from, TDateTime until, size_t limit, std::vector<Occurrence>* out) const;

  // The overridden instances at their own times; cancelled instances are left out.
  std::vector<Occurrence> Instances() const;

 private:
  struct Instance {
    Moment start;
    int64_t duration = 0;  // seconds
    bool all_day = false;
    bool cancelled = false;
    size_t texts = 0;
  };
  struct RecurrenceRule;

  TimeValue ReadTime(const Property& property, std::string_view text, TimeZones& zones);
  std::vector<TimeValue> ReadTimeList(const Property& property, TimeZones& zones, bool allow_periods,
                                      std::vector<int64_t>* period_durations);
  int64_t ReadDuration(const Component& component, const TimeValue& start, TimeZones& zones);
  void ReadEvent(const Component& event, TimeZones& zones);
  // The parts of the event that ReadEvent reads after its start and length: RRULE (and EXRULE, left
  // out with a note), RDATE with their lengths, EXDATE.
  void ReadRules(const Component& event);
  void ReadExtraDates(const Component& event, TimeZones& zones);
  void ReadLeftOutDates(const Component& event, TimeZones& zones);
  void ReadInstance(const Component& instance, TimeZones& zones);
  EventTexts ReadTexts(const Component& component, const EventTexts* fallback) const;
  void AddNote(int line, const std::string& text);
  bool IsLeftOut(TDateTime local_start) const;

  std::string skip_reason_;
  std::vector<Note> notes_;
  std::vector<EventTexts> texts_;

  bool has_event_ = false;
  TimeValue start_;
  Moment start_moment_;
  int64_t duration_ = 0;  // seconds; whole days for all-day events
  std::vector<std::unique_ptr<RecurrenceRule>> rules_;
  std::vector<std::pair<Moment, int64_t>> extra_dates_;  // RDATE values with their durations
  std::set<int64_t> left_out_times_;                     // EXDATE and overridden starts, in local ms
  std::set<int64_t> left_out_days_;                      // the same by day, for dates
  std::vector<Instance> instances_;
};

// The server's local time of a moment.
TDateTime LocalTimeOf(const Moment& moment);
// The moment of a value (an instant when it is UTC or in a known zone, floating otherwise).
Moment MomentOf(const TimeValue& value);

}  // namespace qv::ical
