// A cursor over the appointments of a mailbox that overlap a window, in the order of the pages (by
// start, then end, subject and UID: ComesBefore), reading a page at a time, and able to go to
// position N with one index seek: what a page costs does not depend on its position nor on the size
// of the mailbox.
//
// An appointment overlaps the window when it starts before the latest start and ends after the
// earliest end; one of no length counts when it starts at or after the earliest end. Those that
// start inside the window are read in pages along the start index (keyset paging); the few that
// start before it and end inside it are found once, by duration class (see SpanClassOf), and come
// first. A seek past those goes by the appointments' ordinals (see NumberAppointments): the first
// appointment of the window's own and the one N places after it are found in one statement, so
// both come from one snapshot even while an import renumbers the mailbox; the walk on from there is
// keyset paging again. An import between two reads moves positions as it moves appointments.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "store/calendar_store.h"

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
  // The appointment at the 0-based position (below 0: the first), or nullptr past the end (the
  // cursor then stands after the last).
  const AppointmentRecord* Seek(int64_t position);

 private:
  enum class Place { kBeforeFirst, kInEarlier, kInWindow, kAfterLast };
  static constexpr size_t kFirstPageSize = 16;
  static constexpr size_t kLargestPageSize = 512;

  void LoadEarlier();
  // Reads the page after (forward) or before (backward) a key (a copy: page_ is replaced), or from
  // the window's edge without one, into page_; false when it is empty.
  bool ReadPage(bool forward, std::optional<AppointmentRecord> key);
  // Reads the UIDs of the rows that only their UID orders.
  void FillTieUids(std::vector<AppointmentRecord>& rows);
  // Drops the rows up to the key (forward) or from it on (backward), the rows sorted.
  static void DropUpToKey(std::vector<AppointmentRecord>& rows, const AppointmentRecord& key, bool forward);
  const AppointmentRecord* FirstInWindow();
  // The last appointment before the window, or none (then the cursor stands before the first).
  const AppointmentRecord* LastOfEarlier();
  const AppointmentRecord* LastOfAll();
  // Reads the page that starts `offset` places after the first appointment that starts in the window,
  // by ordinal; `found` is false past the end. False when the ordinals cannot lead there: a row
  // without one, or one that a gap in the numbers puts elsewhere.
  bool ReadPageAt(int64_t offset, bool* found);

  platform::SqliteDatabase& database_;
  int64_t mailbox_id_;
  TDateTime lower_;  // the earliest end
  TDateTime upper_;  // the latest start
  bool has_lower_;

  std::optional<bool> numbered_;  // whether every appointment of the mailbox has its ordinal
  bool earlier_loaded_ = false;
  std::vector<AppointmentRecord> earlier_;  // start before the window, end inside it, in order
  std::vector<AppointmentRecord> page_;     // consecutive appointments that start inside the window
  // The window position of page_'s first row, where the walk knows it (from the first or a seek): a
  // seek into the page read already costs no query, as when a list page seeks its own start again.
  std::optional<int64_t> page_position_;
  Place place_ = Place::kBeforeFirst;
  size_t index_ = 0;
  size_t page_size_ = kFirstPageSize;
  bool last_read_forward_ = true;
};

}  // namespace qv
