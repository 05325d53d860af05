#include "store/ical_event.h"

#include <libical/ical.h>

#include <algorithm>
#include <cmath>

#include "platform/clock/clock.h"
#include "support/civil_time.h"

namespace qv::ical {

namespace {

// A rule that needs more steps than this to reach the end of the range is refused: it would make
// millions of appointments (a rule every second, say) or never reach the range at all.
constexpr size_t kMaxRuleSteps = 2000000;

// A rule finer than daily with BY parts is walked by libical one unit (second, minute, hour) at a
// time, also through the units its BY parts leave out: every minute of three years to find the
// minutes of one 29 February. Such a rule whose range holds more units than this is too dense to walk.
constexpr int64_t kMaxFilteredRuleUnits = 500000;

// libical works out a zone's offset changes from each observance's DTSTART up to this year, the
// first time it converts a time of the zone.
constexpr int kZoneChangesEndYear = 2037;
// Real zones change their offset once or twice a year, by yearly rules. An observance with another
// rule (libical walks an hourly one hour by hour: minutes of work at every import and extension), or
// with a yearly rule that makes more changes than this many a year, makes the definition unusable.
constexpr int kMaxZoneChangesPerYear = 4;

constexpr int64_t kSecondsPerDay = 86400;
constexpr double kUnixEpoch = 25569;  // 1970-01-01 as an OLE date
constexpr double kLastDay = 2958465;  // 9999-12-31

int64_t WallSeconds(const TimeValue& value) {
  return DaysFromCivil(value.year, value.month, value.day) * kSecondsPerDay + value.hour * 3600 +
         value.minute * 60 + value.second;
}

// The local time in milliseconds, the key under which occurrences are compared.
int64_t KeyOf(TDateTime local) {
  return std::llround(local * kMillisecondsPerDay);
}
int64_t DayOf(TDateTime local) {
  return static_cast<int64_t>(std::floor(local));
}

bool ReadDigits(std::string_view text, size_t at, size_t count, int* value) {
  *value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

// "YYYYMMDD" or "YYYYMMDDTHHMMSS" with an optional "Z", each field in its range.
bool ParseTimeText(std::string_view text, TimeValue* value) {
  if (text.size() != 8 && text.size() != 15 && text.size() != 16) return false;
  if (!ReadDigits(text, 0, 4, &value->year) || !ReadDigits(text, 4, 2, &value->month) ||
      !ReadDigits(text, 6, 2, &value->day))
    return false;
  if (value->year < 1 || value->month < 1 || value->month > 12 || value->day < 1 ||
      value->day > DaysInMonth(value->year, value->month))
    return false;
  value->is_date = text.size() == 8;
  if (value->is_date) return true;
  if (text[8] != 'T' || !ReadDigits(text, 9, 2, &value->hour) || !ReadDigits(text, 11, 2, &value->minute) ||
      !ReadDigits(text, 13, 2, &value->second))
    return false;
  if (text.size() == 16 && text[15] != 'Z') return false;
  value->is_utc = text.size() == 16;
  if (value->hour > 23 || value->minute > 59 || value->second > 60) return false;
  if (value->second == 60) value->second = 59;  // a leap second
  return true;
}

icaltimetype ToIcal(const TimeValue& value) {
  icaltimetype time = icaltime_null_time();
  time.year = value.year;
  time.month = value.month;
  time.day = value.day;
  time.is_date = value.is_date ? 1 : 0;
  if (!value.is_date) {
    time.hour = value.hour;
    time.minute = value.minute;
    time.second = value.second;
  }
  if (value.is_utc) {
    time.zone = icaltimezone_get_utc_timezone();
  } else if (value.zone != nullptr && !value.is_date) {
    time.zone = value.zone;
  }
  return time;
}

TimeValue FromIcal(const icaltimetype& time) {
  TimeValue value;
  value.year = time.year;
  value.month = time.month;
  value.day = time.day;
  value.hour = time.hour;
  value.minute = time.minute;
  value.second = time.second;
  value.is_date = time.is_date != 0;
  value.is_utc = icaltime_is_utc(time) != 0;
  if (!value.is_utc && time.zone != nullptr) value.zone = const_cast<icaltimezone*>(time.zone);
  return value;
}

struct IteratorDeleter {
  void operator()(icalrecur_iterator* iterator) const { icalrecur_iterator_free(iterator); }
};
using RuleIterator = std::unique_ptr<icalrecur_iterator, IteratorDeleter>;

bool HasByParts(const icalrecurrencetype& rule) {
  for (const short* part : {rule.by_second, rule.by_minute, rule.by_hour, rule.by_day, rule.by_month_day,
                            rule.by_year_day, rule.by_week_no, rule.by_month, rule.by_set_pos}) {
    if (part[0] != ICAL_RECURRENCE_ARRAY_MAX) return true;
  }
  return false;
}

// Whether libical would need more than kMaxFilteredRuleUnits steps to walk the rule from its start to
// `until` (seconds counted like WallSeconds; a few hours of zone offset do not matter here).
bool TooCostlyToWalk(const icalrecurrencetype& rule, int64_t start_seconds, int64_t until_seconds) {
  int64_t unit = 0;
  switch (rule.freq) {
    case ICAL_SECONDLY_RECURRENCE:
      unit = 1;
      break;
    case ICAL_MINUTELY_RECURRENCE:
      unit = 60;
      break;
    case ICAL_HOURLY_RECURRENCE:
      unit = 3600;
      break;
    default:
      return false;  // daily and coarser rules step to the days their BY parts give
  }
  if (!HasByParts(rule)) return false;  // every step yields an occurrence, which the walk counts
  int64_t end = until_seconds;
  if (!icaltime_is_null_time(rule.until)) end = std::min(end, WallSeconds(FromIcal(rule.until)));
  return (end - start_seconds) / (unit * std::max<int64_t>(1, rule.interval)) > kMaxFilteredRuleUnits;
}

std::string Quoted(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text);
  quoted.push_back('"');
  return quoted;
}

}  // namespace

TDateTime LocalTimeOf(const Moment& moment) {
  if (moment.floating) return SystemTimeToDateTime(CivilFromSeconds(moment.seconds));
  return SystemTimeToDateTime(platform::LocalTimeFromUnixSeconds(moment.seconds));
}

Moment MomentOf(const TimeValue& value) {
  if (value.is_date || (!value.is_utc && value.zone == nullptr)) return Moment{WallSeconds(value), true};
  if (value.is_utc) return Moment{WallSeconds(value), false};
  TimeValue wall = value;
  wall.zone = nullptr;
  return Moment{static_cast<int64_t>(icaltime_as_timet_with_zone(ToIcal(wall), value.zone)), false};
}

// ---- TimeZones

TimeZones::TimeZones() = default;
TimeZones::~TimeZones() = default;

void TimeZones::ZoneDeleter::operator()(icaltimezone* zone) const {
  icaltimezone_free(zone, 1);
}

namespace {

// Whether libical can work out the changes of every observance of a parsed VTIMEZONE in a bounded
// number of steps: each rule is yearly and is walked as libical walks it, from DTSTART to the end year.
bool ObservancesAreBounded(icalcomponent* vtimezone) {
  for (icalcomponent* observance = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT);
       observance != nullptr; observance = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
    icalproperty* start = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
    if (start == nullptr) continue;  // libical passes such an observance over
    const icaltimetype dtstart = icalproperty_get_dtstart(start);
    const int years = std::max(1, kZoneChangesEndYear - dtstart.year + 1);
    const size_t limit = static_cast<size_t>(years) * kMaxZoneChangesPerYear;
    for (icalproperty* rule = icalcomponent_get_first_property(observance, ICAL_RRULE_PROPERTY);
         rule != nullptr; rule = icalcomponent_get_next_property(observance, ICAL_RRULE_PROPERTY)) {
      const icalrecurrencetype recurrence = icalproperty_get_rrule(rule);
      if (recurrence.freq != ICAL_YEARLY_RECURRENCE) return false;
      const RuleIterator iterator(icalrecur_iterator_new(recurrence, dtstart));
      icalerror_clear_errno();
      if (iterator == nullptr) continue;
      for (size_t steps = 0;; ++steps) {
        const icaltimetype next = icalrecur_iterator_next(iterator.get());
        if (icaltime_is_null_time(next) || next.year > kZoneChangesEndYear) break;
        if (steps >= limit) return false;
      }
    }
  }
  return true;
}

}  // namespace

bool TimeZones::Define(const Component& vtimezone) {
  const Property* tzid = vtimezone.Find("TZID");
  if (tzid == nullptr || tzid->Value().empty()) return false;
  std::string text;
  WriteComponent(vtimezone, true, &text);
  icalcomponent* parsed = icalparser_parse_string(text.c_str());
  if (parsed == nullptr) return false;
  if (icalcomponent_isa(parsed) != ICAL_VTIMEZONE_COMPONENT || !ObservancesAreBounded(parsed)) {
    icalcomponent_free(parsed);
    return false;
  }
  std::unique_ptr<icaltimezone, ZoneDeleter> zone(icaltimezone_new());
  if (zone == nullptr || icaltimezone_set_component(zone.get(), parsed) == 0) {
    icalcomponent_free(parsed);
    return false;
  }
  defined_[std::string(tzid->Value())] = std::move(zone);
  return true;
}

icaltimezone* TimeZones::Find(const std::string& tzid) {
  if (const auto defined = defined_.find(tzid); defined != defined_.end()) return defined->second.get();
  if (const auto known = builtin_.find(tzid); known != builtin_.end()) return known->second;
  icaltimezone* zone = icaltimezone_get_builtin_timezone(tzid.c_str());
  if (zone == nullptr && !tzid.empty() && tzid[0] == '/')
    zone = icaltimezone_get_builtin_timezone_from_tzid(tzid.c_str());
  builtin_[tzid] = zone;
  return zone;
}

// ---- EventSeries

struct EventSeries::RecurrenceRule {
  icalrecurrencetype recurrence;
};

EventSeries::EventSeries(const Component* event, const std::vector<const Component*>& instances,
                         TimeZones& zones) {
  texts_.emplace_back();
  if (event != nullptr) ReadEvent(*event, zones);
  if (!skip_reason_.empty()) return;
  for (const Component* instance : instances) ReadInstance(*instance, zones);
}

EventSeries::~EventSeries() = default;

void EventSeries::AddNote(int line, const std::string& text) {
  for (const Note& note : notes_) {
    if (note.text == text) return;
  }
  notes_.push_back(Note{line, text});
}

TimeValue EventSeries::ReadTime(const Property& property, std::string_view text, TimeZones& zones) {
  TimeValue value;
  if (!ParseTimeText(text, &value))
    throw EIcalFormatError(property.line,
                           property.name + " " + Quoted(text) + " is not a date or a date-time");
  if (const std::string* type = property.Param("VALUE")) {
    if ((*type == "DATE" && !value.is_date) || (*type == "DATE-TIME" && value.is_date))
      throw EIcalFormatError(property.line, property.name + " " + Quoted(text) + " is not of VALUE=" + *type);
  }
  const std::string* tzid = property.Param("TZID");
  if (tzid != nullptr && !value.is_date && !value.is_utc) {
    value.zone = zones.Find(*tzid);
    if (value.zone == nullptr)
      AddNote(property.line,
              "unknown time zone " + Quoted(*tzid) + ": its times are taken as the server's local time");
  }
  return value;
}

std::vector<TimeValue> EventSeries::ReadTimeList(const Property& property, TimeZones& zones,
                                                 bool allow_periods, std::vector<int64_t>* period_durations) {
  std::vector<TimeValue> values;
  const std::string* type = property.Param("VALUE");
  const bool periods = type != nullptr && *type == "PERIOD";
  if (periods && !allow_periods)
    throw EIcalFormatError(property.line, "VALUE=PERIOD is not allowed for " + property.name);
  std::string_view rest = property.Value();
  while (true) {
    const size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    if (periods) {
      const size_t slash = item.find('/');
      if (slash == std::string_view::npos)
        throw EIcalFormatError(property.line, "the period " + Quoted(item) + " has no \"/\"");
      const TimeValue start = ReadTime(property, item.substr(0, slash), zones);
      const std::string_view second = item.substr(slash + 1);
      int64_t seconds = 0;
      if (!second.empty() && (second[0] == 'P' || second[0] == '+' || second[0] == '-')) {
        const icaldurationtype duration = icaldurationtype_from_string(std::string(second).c_str());
        if (icaldurationtype_is_bad_duration(duration))
          throw EIcalFormatError(property.line, "the period " + Quoted(item) + " has no valid duration");
        seconds = icaldurationtype_as_int(duration);
      } else {
        const TimeValue end = ReadTime(property, second, zones);
        seconds = MomentOf(end).seconds - MomentOf(start).seconds;
      }
      values.push_back(start);
      period_durations->push_back(seconds);
    } else {
      values.push_back(ReadTime(property, item, zones));
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return values;
}

int64_t EventSeries::ReadDuration(const Component& component, const TimeValue& start, TimeZones& zones) {
  const Property* end_property = component.Find("DTEND");
  const Property* duration_property = component.Find("DURATION");
  int64_t seconds = start.is_date ? kSecondsPerDay : 0;
  int line = component.line;
  if (end_property != nullptr) {
    line = end_property->line;
    const TimeValue end = ReadTime(*end_property, end_property->Value(), zones);
    if (start.is_date) {
      seconds =
          (DaysFromCivil(end.year, end.month, end.day) - DaysFromCivil(start.year, start.month, start.day)) *
          kSecondsPerDay;
    } else {
      const Moment from = MomentOf(start);
      const Moment to = MomentOf(end);
      seconds = from.floating == to.floating
                    ? to.seconds - from.seconds
                    : std::llround((LocalTimeOf(to) - LocalTimeOf(from)) * kSecondsPerDay);
    }
    if (duration_property != nullptr)
      AddNote(duration_property->line, "DURATION left out: the event has DTEND");
  } else if (duration_property != nullptr) {
    line = duration_property->line;
    const std::string text(duration_property->Value());
    const icaldurationtype duration = icaldurationtype_from_string(text.c_str());
    if (icaldurationtype_is_bad_duration(duration))
      throw EIcalFormatError(line, "DURATION " + Quoted(text) + " is not a duration");
    seconds = icaldurationtype_as_int(duration);
    if (start.is_date && seconds > 0)
      seconds = (seconds + kSecondsPerDay - 1) / kSecondsPerDay * kSecondsPerDay;
  }
  if (seconds < 0) {
    AddNote(line, start.is_date ? "the event ends before it starts: taken as one day"
                                : "the event ends before it starts: taken as lasting no time");
    seconds = start.is_date ? kSecondsPerDay : 0;
  } else if (seconds == 0 && start.is_date) {
    AddNote(line, "an all-day event of no length: taken as one day");
    seconds = kSecondsPerDay;
  }
  return seconds;
}

EventTexts EventSeries::ReadTexts(const Component& component, const EventTexts* fallback) const {
  EventTexts texts;
  if (fallback != nullptr) texts = *fallback;
  if (const Property* summary = component.Find("SUMMARY")) texts.subject = UnescapeText(summary->Value());
  if (const Property* location = component.Find("LOCATION")) texts.location = UnescapeText(location->Value());
  if (const Property* description = component.Find("DESCRIPTION"))
    texts.description = UnescapeText(description->Value());
  return texts;
}

void EventSeries::ReadEvent(const Component& event, TimeZones& zones) {
  texts_[0] = ReadTexts(event, nullptr);
  const Property* status = event.Find("STATUS");
  if (status != nullptr && status->Value() == "CANCELLED") {
    skip_reason_ = "cancelled";
    return;
  }
  const Property* start = event.Find("DTSTART");
  if (start == nullptr) {
    skip_reason_ = "no DTSTART";
    return;
  }
  start_ = ReadTime(*start, start->Value(), zones);
  start_moment_ = MomentOf(start_);
  duration_ = ReadDuration(event, start_, zones);
  ReadRules(event);
  ReadExtraDates(event, zones);
  ReadLeftOutDates(event, zones);
  has_event_ = true;
}

void EventSeries::ReadRules(const Component& event) {
  for (const Property* rule : event.FindAll("RRULE")) {
    auto parsed = std::make_unique<RecurrenceRule>();
    parsed->recurrence = icalrecurrencetype_from_string(std::string(rule->Value()).c_str());
    icalerror_clear_errno();
    if (parsed->recurrence.freq == ICAL_NO_RECURRENCE)
      throw EIcalFormatError(rule->line, "RRULE " + Quoted(rule->Value()) + " cannot be read");
    const RuleIterator check(icalrecur_iterator_new(parsed->recurrence, ToIcal(start_)));
    icalerror_clear_errno();
    if (check == nullptr)
      throw EIcalFormatError(rule->line,
                             "RRULE " + Quoted(rule->Value()) + " cannot be used with this DTSTART");
    rules_.push_back(std::move(parsed));
  }
  if (const Property* rule = event.Find("EXRULE"))
    AddNote(rule->line, "EXRULE is not supported and was left out");
}

void EventSeries::ReadExtraDates(const Component& event, TimeZones& zones) {
  for (const Property* dates : event.FindAll("RDATE")) {
    std::vector<int64_t> durations;
    const std::vector<TimeValue> values = ReadTimeList(*dates, zones, true, &durations);
    for (size_t i = 0; i < values.size(); ++i) {
      int64_t duration = i < durations.size() ? durations[i] : duration_;
      if (duration < 0) duration = 0;
      extra_dates_.emplace_back(MomentOf(values[i]), duration);
    }
  }
}

void EventSeries::ReadLeftOutDates(const Component& event, TimeZones& zones) {
  for (const Property* dates : event.FindAll("EXDATE")) {
    for (const TimeValue& value : ReadTimeList(*dates, zones, false, nullptr)) {
      const TDateTime local = LocalTimeOf(MomentOf(value));
      if (value.is_date || start_.is_date) {
        left_out_days_.insert(DayOf(local));
      } else {
        left_out_times_.insert(KeyOf(local));
      }
    }
  }
}

void EventSeries::ReadInstance(const Component& instance, TimeZones& zones) {
  const Property* recurrence_id = instance.Find("RECURRENCE-ID");
  const TimeValue original = ReadTime(*recurrence_id, recurrence_id->Value(), zones);
  const TDateTime original_local = LocalTimeOf(MomentOf(original));
  if (original.is_date || (has_event_ && start_.is_date)) {
    left_out_days_.insert(DayOf(original_local));
  } else {
    left_out_times_.insert(KeyOf(original_local));
  }
  if (const std::string* range = recurrence_id->Param("RANGE"))
    AddNote(recurrence_id->line, "RANGE=" + *range + " is taken for this one instance");

  Instance parsed;
  const Property* status = instance.Find("STATUS");
  parsed.cancelled = status != nullptr && status->Value() == "CANCELLED";
  const Property* start = instance.Find("DTSTART");
  const TimeValue begins = start != nullptr ? ReadTime(*start, start->Value(), zones) : original;
  parsed.start = MomentOf(begins);
  parsed.all_day = begins.is_date;
  const bool own_length = instance.Find("DTEND") != nullptr || instance.Find("DURATION") != nullptr;
  parsed.duration = own_length || !has_event_ || start_.is_date != begins.is_date
                        ? ReadDuration(instance, begins, zones)
                        : duration_;
  parsed.texts = texts_.size();
  texts_.push_back(ReadTexts(instance, has_event_ ? &texts_[0] : nullptr));
  instances_.push_back(parsed);
}

bool EventSeries::IsLeftOut(TDateTime local_start) const {
  return left_out_times_.count(KeyOf(local_start)) != 0 || left_out_days_.count(DayOf(local_start)) != 0;
}

EventSeries::Expansion EventSeries::Expand(TDateTime from, TDateTime until, size_t limit,
                                           std::vector<Occurrence>* out) const {
  if (!has_event_ || !skip_reason_.empty()) return Expansion::kComplete;
  std::vector<Occurrence> found;
  std::set<int64_t> seen;
  bool more = false;
  // Takes one start; false once the starts have reached `until`.
  auto take = [&](const Moment& start, int64_t duration) {
    const TDateTime local = LocalTimeOf(start);
    if (local >= until) {
      more = true;
      return false;
    }
    if (local < from || IsLeftOut(local) || !seen.insert(KeyOf(local)).second) return true;
    found.push_back(
        Occurrence{local, LocalTimeOf(Moment{start.seconds + duration, start.floating}), start_.is_date, 0});
    return true;
  };

  take(start_moment_, duration_);
  size_t steps = 0;
  // The end of the range in seconds since 1970, kept inside the years a calendar can hold.
  const int64_t until_seconds = static_cast<int64_t>(
      std::clamp(until - kUnixEpoch, -kUnixEpoch, kLastDay - kUnixEpoch) * kSecondsPerDay);
  for (const auto& rule : rules_) {
    if (TooCostlyToWalk(rule->recurrence, start_moment_.seconds, until_seconds)) return Expansion::kTooMany;
    const RuleIterator iterator(icalrecur_iterator_new(rule->recurrence, ToIcal(start_)));
    if (iterator == nullptr) continue;
    while (true) {
      const icaltimetype next = icalrecur_iterator_next(iterator.get());
      if (icaltime_is_null_time(next)) break;
      if (++steps > kMaxRuleSteps || found.size() > limit) return Expansion::kTooMany;
      if (!take(MomentOf(FromIcal(next)), duration_)) break;
    }
  }
  for (const auto& [start, duration] : extra_dates_) take(start, duration);
  if (found.size() > limit) return Expansion::kTooMany;

  std::stable_sort(found.begin(), found.end(),
                   [](const Occurrence& a, const Occurrence& b) { return a.start < b.start; });
  out->insert(out->end(), found.begin(), found.end());
  return more ? Expansion::kMore : Expansion::kComplete;
}

std::vector<Occurrence> EventSeries::Instances() const {
  std::vector<Occurrence> result;
  if (!skip_reason_.empty()) return result;
  for (const Instance& instance : instances_) {
    if (instance.cancelled) continue;
    result.push_back(
        Occurrence{LocalTimeOf(instance.start),
                   LocalTimeOf(Moment{instance.start.seconds + instance.duration, instance.start.floating}),
                   instance.all_day, instance.texts});
  }
  return result;
}

}  // namespace qv::ical
