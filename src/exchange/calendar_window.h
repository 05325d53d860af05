// A cursor over the appointments of a mailbox that overlap a window, in order of start time (and of
// their id among equal starts), reading a page at a time so that reaching position N costs about N
// rows, whatever the size of the mailbox.
//
// An appointment overlaps the window when it starts before the latest start and ends after the
// earliest end; one of no length counts when it starts at or after the earliest end. Those that
// start inside the window are read in pages along the start index (keyset paging); the few that
// start before it and end inside it are found once, by duration class (see SpanClassOf).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "exchange/calendar_store.h"

namespace qv {

class CalendarWindow {
 public:
  // An absent bound leaves that side open.
  CalendarWindow(platform::SqliteDatabase& database, int64_t mailbox_id,
                 std::optional<TDateTime> earliest_end, std::optional<TDateTime> latest_start);
  CalendarWindow(const CalendarWindow&) = delete;
  CalendarWindow& operator=(const CalendarWindow&) = delete;

  // The appointment at the new place, or nullptr past either end. Next before the first call gives
  // the first, Previous after the end the last; the pointer holds until the next call.
  const AppointmentRecord* First();
  const AppointmentRecord* Next();
  const AppointmentRecord* Previous();

 private:
  enum class Place { kBeforeFirst, kInEarlier, kInWindow, kAfterLast };
  static constexpr size_t kFirstPageSize = 16;
  static constexpr size_t kLargestPageSize = 512;

  void LoadEarlier();
  // Reads the page after (forward) or before (backward) a key into page_; false when it is empty.
  bool ReadPage(bool forward, TDateTime key_start, int64_t key_id);
  const AppointmentRecord* FirstInWindow();
  // The last appointment before the window, or none (then the cursor stands before the first).
  const AppointmentRecord* LastOfEarlier();
  const AppointmentRecord* LastOfAll();

  platform::SqliteDatabase& database_;
  int64_t mailbox_id_;
  TDateTime lower_;  // the earliest end
  TDateTime upper_;  // the latest start
  bool has_lower_;

  bool earlier_loaded_ = false;
  std::vector<AppointmentRecord> earlier_;  // start before the window, end inside it, in order
  std::vector<AppointmentRecord> page_;     // consecutive appointments that start inside the window
  Place place_ = Place::kBeforeFirst;
  size_t index_ = 0;
  size_t page_size_ = kFirstPageSize;
  bool last_read_forward_ = true;
};

}  // namespace qv
