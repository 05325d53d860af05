#include "store/calendar_window.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace qv {

namespace {

constexpr TDateTime kOpenLower = -1e9;
constexpr TDateTime kOpenUpper = 1e9;

const std::string kColumnList = "a.id, a.start_time, a.end_time, a.all_day, t.subject, t.location, t.body ";
const std::string kColumns =
    "SELECT " + kColumnList + "FROM appointments a JOIN texts t ON t.id = a.text_id ";

// The columns above, from the given one on.
AppointmentRecord ReadRow(const platform::SqliteStatement& row, int first = 0) {
  AppointmentRecord record;
  record.id = row.ColumnInt64(first);
  record.start = row.ColumnDouble(first + 1);
  record.end = row.ColumnDouble(first + 2);
  record.all_day = row.ColumnInt64(first + 3) != 0;
  record.subject = row.ColumnText(first + 4);
  record.location = row.ColumnText(first + 5);
  record.text = row.ColumnText(first + 6);
  return record;
}

bool SameButUid(const AppointmentRecord& a, const AppointmentRecord& b) {
  return a.start == b.start && a.end == b.end && a.subject == b.subject;
}

}  // namespace

void CalendarWindow::FillTieUids(std::vector<AppointmentRecord>& rows) {
  // The UID decides only between appointments of the same start, end and subject, which are rare:
  // it is read for those alone.
  std::vector<AppointmentRecord*> order;
  order.reserve(rows.size());
  for (AppointmentRecord& row : rows) order.push_back(&row);
  std::sort(order.begin(), order.end(),
            [](const AppointmentRecord* a, const AppointmentRecord* b) { return ComesBefore(*a, *b); });
  for (size_t i = 0; i < order.size(); ++i) {
    const bool tied = (i > 0 && SameButUid(*order[i - 1], *order[i])) ||
                      (i + 1 < order.size() && SameButUid(*order[i], *order[i + 1]));
    if (!tied || !order[i]->uid.empty()) continue;
    auto uid = database_.Prepare(
        "SELECT e.uid FROM appointments a JOIN texts t ON t.id = a.text_id JOIN events e ON e.id = "
        "t.event_id "
        "WHERE a.id = ?1");
    uid.Bind(1, order[i]->id);
    if (uid.Step()) order[i]->uid = uid.ColumnText(0);
  }
}

namespace {}  // namespace

CalendarWindow::CalendarWindow(platform::SqliteDatabase& database, int64_t mailbox_id,
                               std::optional<TDateTime> earliest_end, std::optional<TDateTime> latest_start)
    : database_(database),
      mailbox_id_(mailbox_id),
      lower_(earliest_end.value_or(kOpenLower)),
      upper_(latest_start.value_or(kOpenUpper)),
      has_lower_(earliest_end.has_value()) {}

void CalendarWindow::LoadEarlier() {
  if (earlier_loaded_) return;
  earlier_loaded_ = true;
  if (!has_lower_) return;
  // An appointment of class c lasts at most 2^c days, so one that reaches into the window started
  // less than 2^c days before it: each class is one short range of its index, up to the longest class
  // the mailbox holds (most hold short appointments only).
  auto longest = database_.Prepare("SELECT max(span_class) FROM appointments WHERE mailbox_id = ?1");
  longest.Bind(1, mailbox_id_);
  if (!longest.Step() || longest.IsNull(0)) return;
  const auto classes = static_cast<int>(std::min<int64_t>(longest.ColumnInt64(0) + 1, kSpanClasses));
  auto query = database_.Prepare(kColumns +
                                 "WHERE a.mailbox_id = ?1 AND a.span_class = ?2 AND a.start_time >= ?3 "
                                 "AND a.start_time < ?4 AND a.end_time > ?5");
  for (int span_class = 0; span_class < classes; ++span_class) {
    query.Reset();
    query.Bind(1, mailbox_id_)
        .Bind(2, static_cast<int64_t>(span_class))
        .Bind(3, lower_ - std::ldexp(1.0, span_class))
        .Bind(4, std::min(lower_, upper_))
        .Bind(5, lower_);
    while (query.Step()) earlier_.push_back(ReadRow(query));
  }
  FillTieUids(earlier_);
  std::sort(earlier_.begin(), earlier_.end(), ComesBefore);
}

bool CalendarWindow::ReadPage(bool forward, std::optional<AppointmentRecord> key) {
  // Pages grow while the walk goes on in one direction: a short first page for the common case of
  // a phone page, fewer queries for a long walk.
  page_size_ = forward == last_read_forward_ ? std::min(page_size_ * 2, kLargestPageSize) : kFirstPageSize;
  last_read_forward_ = forward;
  // A page holds whole groups of appointments of one start, which the order of the pages sorts
  // (ComesBefore): a page's worth of rows from the key's start on (or, without a key, from the
  // window's edge), the last group left out when the row after the page shares its start (read whole
  // when it is all the page has), then those of the key's start up to the key dropped. Only when nothing but
  // those was read does the next start have to be asked for. The key (or edge) bounds the walk on its side by
  // itself; a bound of the window there as well could make the index range start at the window's edge and
  // scan to the key.
  const TDateTime edge = key ? key->start : forward ? lower_ : upper_;
  for (const bool beyond : {false, true}) {
    if (beyond && !key) break;
    const std::string side = forward ? (beyond ? ">" : ">=") : (beyond || !key ? "<" : "<=");
    auto query = database_.Prepare(kColumns + "WHERE a.mailbox_id = ?1 AND a.start_time " + side +
                                   " ?2 AND a.start_time " + (forward ? "< ?3" : ">= ?3") +
                                   " ORDER BY a.start_time" + (forward ? "" : " DESC") + " LIMIT ?4");
    query.Bind(1, mailbox_id_)
        .Bind(2, edge)
        .Bind(3, forward ? upper_ : lower_)
        .Bind(4, static_cast<int64_t>(page_size_ + 1));
    std::vector<AppointmentRecord> rows;
    while (query.Step()) rows.push_back(ReadRow(query));
    query.Reset();
    if (rows.empty()) return false;
    if (rows.size() > page_size_) {
      const TDateTime last = rows[page_size_ - 1].start;
      const bool split = rows[page_size_].start == last;
      rows.pop_back();
      if (split) {
        // The cut group is left to the next page; a page of that group alone reads it whole.
        std::erase_if(rows, [last](const AppointmentRecord& row) { return row.start == last; });
        if (rows.empty()) {
          auto group = database_.Prepare(kColumns + "WHERE a.mailbox_id = ?1 AND a.start_time = ?2");
          group.Bind(1, mailbox_id_).Bind(2, last);
          while (group.Step()) rows.push_back(ReadRow(group));
        }
      }
    }
    FillTieUids(rows);
    std::sort(rows.begin(), rows.end(), ComesBefore);
    if (key) DropUpToKey(rows, *key, forward);
    if (!rows.empty()) {
      page_ = std::move(rows);
      return true;
    }
  }
  return false;
}

void CalendarWindow::DropUpToKey(std::vector<AppointmentRecord>& rows, const AppointmentRecord& key,
                                 bool forward) {
  // The key's own row, found by its id, marks the place; its UID may not have been read. A key gone
  // meanwhile is placed by the order.
  const auto found = std::find_if(rows.begin(), rows.end(),
                                  [&key](const AppointmentRecord& row) { return row.id == key.id; });
  if (found != rows.end()) {
    if (forward)
      rows.erase(rows.begin(), found + 1);
    else
      rows.erase(found, rows.end());
    return;
  }
  std::erase_if(rows, [&key, forward](const AppointmentRecord& row) {
    return forward ? !ComesBefore(key, row) : !ComesBefore(row, key);
  });
}

const AppointmentRecord* CalendarWindow::FirstInWindow() {
  last_read_forward_ = false;  // start again with a short page
  if (ReadPage(true, std::nullopt)) {
    place_ = Place::kInWindow;
    index_ = 0;
    page_position_ = static_cast<int64_t>(earlier_.size());
    return &page_[index_];
  }
  place_ = Place::kAfterLast;
  return nullptr;
}

const AppointmentRecord* CalendarWindow::LastOfEarlier() {
  LoadEarlier();
  if (!earlier_.empty()) {
    place_ = Place::kInEarlier;
    index_ = earlier_.size() - 1;
    return &earlier_[index_];
  }
  place_ = Place::kBeforeFirst;
  return nullptr;
}

const AppointmentRecord* CalendarWindow::LastOfAll() {
  last_read_forward_ = true;
  if (ReadPage(false, std::nullopt)) {
    place_ = Place::kInWindow;
    index_ = page_.size() - 1;
    page_position_.reset();
    return &page_[index_];
  }
  return LastOfEarlier();
}

bool CalendarWindow::ReadPageAt(int64_t offset, bool* found) {
  *found = false;
  if (!numbered_) {
    // Every write numbers what it wrote before its commit; a row without a number means a store
    // that someone else wrote to.
    auto unnumbered =
        database_.Prepare("SELECT 1 FROM appointments WHERE mailbox_id = ?1 AND ordinal IS NULL");
    unnumbered.Bind(1, mailbox_id_);
    numbered_ = !unnumbered.Step();
  }
  if (!*numbered_) return false;
  // A scalar subquery, evaluated once: a join with it would sort every row from the position on.
  // The first appointment of the window's own is the first of the earliest start's group, found
  // by its start ("+ordinal": not by walking the ordinals of all that lies before the window).
  const std::string first =
      "(SELECT min(+ordinal) FROM appointments WHERE mailbox_id = ?1 AND start_time = "
      "(SELECT min(start_time) FROM appointments WHERE mailbox_id = ?1 AND start_time >= ?2))";
  auto query = database_.Prepare("SELECT a.ordinal - " + first + ", " + kColumnList +
                                 "FROM appointments a JOIN texts t ON t.id = a.text_id "
                                 "WHERE a.mailbox_id = ?1 AND a.ordinal >= " +
                                 first + " + ?3 ORDER BY a.ordinal LIMIT ?4");
  query.Bind(1, mailbox_id_).Bind(2, lower_).Bind(3, offset).Bind(4, static_cast<int64_t>(kFirstPageSize));
  std::vector<AppointmentRecord> rows;
  while (query.Step()) {
    if (rows.empty() && query.ColumnInt64(0) != offset) return false;
    AppointmentRecord record = ReadRow(query, 1);
    if (record.start >= upper_) break;
    rows.push_back(std::move(record));
  }
  page_size_ = kFirstPageSize;
  last_read_forward_ = true;
  if (rows.empty()) return true;
  page_ = std::move(rows);
  *found = true;
  return true;
}

const AppointmentRecord* CalendarWindow::Seek(int64_t position) {
  LoadEarlier();
  position = std::max<int64_t>(position, 0);
  const auto earlier = static_cast<int64_t>(earlier_.size());
  if (position < earlier) {
    place_ = Place::kInEarlier;
    index_ = static_cast<size_t>(position);
    return &earlier_[index_];
  }
  if (place_ == Place::kInWindow && page_position_ && position >= *page_position_ &&
      position - *page_position_ < static_cast<int64_t>(page_.size())) {
    index_ = static_cast<size_t>(position - *page_position_);
    return &page_[index_];
  }
  bool found = false;
  if (ReadPageAt(position - earlier, &found)) {
    if (!found) {
      place_ = Place::kAfterLast;
      return nullptr;
    }
    place_ = Place::kInWindow;
    index_ = 0;
    page_position_ = position;
    return &page_[index_];
  }
  // Without ordinals to go by, step there.
  const AppointmentRecord* record = First();
  for (int64_t i = 0; i < position && record != nullptr; ++i) record = Next();
  return record;
}

const AppointmentRecord* CalendarWindow::First() {
  LoadEarlier();
  if (!earlier_.empty()) {
    place_ = Place::kInEarlier;
    index_ = 0;
    return &earlier_[index_];
  }
  return FirstInWindow();
}

const AppointmentRecord* CalendarWindow::Next() {
  switch (place_) {
    case Place::kBeforeFirst:
      return First();
    case Place::kInEarlier:
      if (index_ + 1 < earlier_.size()) return &earlier_[++index_];
      return FirstInWindow();
    case Place::kInWindow:
      if (index_ + 1 < page_.size()) return &page_[++index_];
      if (const size_t before = page_.size(); ReadPage(true, AppointmentRecord(page_.back()))) {
        if (page_position_) *page_position_ += static_cast<int64_t>(before);
        index_ = 0;
        return &page_[index_];
      }
      place_ = Place::kAfterLast;
      return nullptr;
    case Place::kAfterLast:
      return nullptr;
  }
  return nullptr;
}

const AppointmentRecord* CalendarWindow::Previous() {
  switch (place_) {
    case Place::kBeforeFirst:
      return nullptr;
    case Place::kInEarlier:
      if (index_ > 0) return &earlier_[--index_];
      place_ = Place::kBeforeFirst;
      return nullptr;
    case Place::kInWindow:
      if (index_ > 0) return &page_[--index_];
      if (ReadPage(false, AppointmentRecord(page_.front()))) {
        if (page_position_) *page_position_ -= static_cast<int64_t>(page_.size());
        index_ = page_.size() - 1;
        return &page_[index_];
      }
      return LastOfEarlier();
    case Place::kAfterLast:
      return LastOfAll();
  }
  return nullptr;
}

}  // namespace qv
