// iCalendar files through the calendar store, as `qvanctl calendar import` takes them: the reader
// (content lines, folding, parameters, nesting), whose components written back and read again must
// be the same; then the import into a store of its own (the values, time zones and recurrence rules
// through libical, the occurrences up to the horizon), the window of the next 365 days read back as
// the calendar pages read it, and the export, which must import again to the same events.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_state_dir.h"
#include "platform/process/environment.h"
#include "store/calendar_store.h"
#include "store/calendar_window.h"
#include "store/ical_reader.h"
#include "support/date_time.h"

namespace {

using namespace qv;

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr char kMailbox[] = "fuzz";
// S-1-5-21-1-2-3-1001
const platform::Sid kOwner = std::string(
    "\x01\x05\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x03\x00\x00\x00\xE9\x03"
    "\x00\x00",
    28);

struct Environment {
  Environment() {
    // A zone with daylight saving time, on other dates than North America's.
    platform::SetEnvironmentVariable("TZ", std::string("CET-1CEST,M3.5.0,M10.5.0/3"));
    store = std::make_unique<CalendarStore>(fuzzing::FuzzStateFile("calendar.db"));
    store->AddMailbox(kMailbox, "Fuzz", kOwner);
    mailbox_id = store->FindMailbox(kMailbox)->id;
  }
  std::unique_ptr<CalendarStore> store;
  int64_t mailbox_id = 0;
};

bool SameTree(const ical::Component& a, const ical::Component& b) {
  if (a.name != b.name || a.properties.size() != b.properties.size() ||
      a.components.size() != b.components.size())
    return false;
  for (size_t i = 0; i < a.properties.size(); ++i) {
    const ical::Property& p = a.properties[i];
    const ical::Property& q = b.properties[i];
    if (p.name != q.name || p.text != q.text || p.Value() != q.Value() ||
        p.parameters.size() != q.parameters.size())
      return false;
    for (size_t k = 0; k < p.parameters.size(); ++k) {
      if (p.parameters[k].name != q.parameters[k].name || p.parameters[k].values != q.parameters[k].values)
        return false;
    }
  }
  for (size_t i = 0; i < a.components.size(); ++i)
    if (!SameTree(a.components[i], b.components[i])) return false;
  return true;
}

bool SameTrees(const std::vector<ical::Component>& a, const std::vector<ical::Component>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameTree(a[i], b[i])) return false;
  return true;
}

// The appointments of the pages' window, each within it and lasting no less than no time.
void ReadWindow(Environment& environment) {
  const TDateTime today = Date();
  const TDateTime latest_start = today + CalendarStore::kWindowDays;
  environment.store->EnsureOccurrencesBefore(environment.mailbox_id, latest_start);
  CalendarWindow window(environment.store->Database(), environment.mailbox_id, today, latest_start);
  int count = 0;
  for (const AppointmentRecord* item = window.First(); item != nullptr && count < 200;
       item = window.Next(), ++count) {
    Check(item->start <= item->end);
    Check(item->start < latest_start);
    Check(item->end > today || (item->end == item->start && item->start >= today));
  }
  if (count > 0) Check(window.Previous() != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Environment* environment = new Environment;  // lives to the end of the process
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::vector<ical::Component> calendars;
  try {
    calendars = ical::ReadCalendarFile(text);
  } catch (const ical::EIcalFormatError& error) {
    Check(error.Line >= 1);
    return 0;
  }
  // Written back, folded as files are exchanged and unfolded as the store keeps them: the same tree.
  std::string folded;
  std::string unfolded;
  for (const ical::Component& calendar : calendars) {
    ical::WriteComponent(calendar, true, &folded);
    ical::WriteComponent(calendar, false, &unfolded);
  }
  Check(SameTrees(ical::ReadCalendarFile(folded), calendars));
  Check(SameTrees(ical::ReadComponents(unfolded), calendars));
  for (size_t at = 0; at < folded.size();) {
    const size_t end = folded.find("\r\n", at);
    Check(end != std::string::npos && end - at <= 75);
    at = end + 2;
  }

  ImportReport report;
  try {
    report = environment->store->Import(kMailbox, text, true);
  } catch (const ical::EIcalFormatError& error) {
    Check(error.Line >= 1);
    return 0;
  }
  ReadWindow(*environment);

  // What the store exports it imports again, to the same events.
  const std::string exported = environment->store->Export(kMailbox);
  const ImportReport again = environment->store->Import(kMailbox, exported, true);
  Check(again.events == report.events);
  ReadWindow(*environment);
  return 0;
}
