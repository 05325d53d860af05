// The store's seek to a position of a window against stepping there from the first item (what the
// library's default seek does): the same item, and the same items walking on forward and backward
// from it, at every position of a calendar with appointments that reach into the window from before
// it, all-day and recurring ones, equal starts, and ones just outside either end; also after imports
// and extensions that renumber a mailbox, in a store of the first schema, and in one whose ordinals
// are missing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files/state_dir.h"
#include "platform/sqlite/sqlite_database.h"
#include "store/calendar_fixture.h"

namespace qv::testing {
namespace {

const TDateTime kFrom = EncodeDate(2024, 3, 4);
const TDateTime kTo = EncodeDate(2024, 4, 4);

std::string Event(const std::string& uid, const std::string& start, const std::string& end,
                  const std::string& subject, const std::string& extra = "") {
  return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART" + start + "\r\nDTEND" + end + "\r\n" + extra +
         "SUMMARY:" + subject + "\r\nEND:VEVENT\r\n";
}

// Before the window and reaching in by different spans, ending where it starts, of no length at
// its start, all-day ones, equal starts, a daily series that begins before the window (its earlier
// occurrences end before it), a weekly one with an exception, and some past its end.
std::string MixedCalendar() {
  std::string events;
  events += Event("long", ":20240110T090000", ":20240320T090000", "Sabbatical");
  events += Event("week", ":20240301T120000", ":20240306T120000", "Conference");
  events += Event("two", ":20240302T230000", ":20240304T010000", "Night shift");
  events += Event("ends", ":20240303T100000", ":20240304T000000", "Ends at the start");
  events += Event("zero", ":20240304T000000", ":20240304T000000", "Midnight marker");
  events += Event("holiday", ";VALUE=DATE:20240329", ";VALUE=DATE:20240402", "Easter");
  events += Event("allday", ";VALUE=DATE:20240304", ";VALUE=DATE:20240305", "Whole Monday");
  for (int i = 0; i < 4; ++i)
    events += Event("same" + std::to_string(i), ":20240311T100000", ":20240311T110000",
                    "Same start " + std::to_string(i));
  events +=
      Event("daily", ":20240225T073000", ":20240225T080000", "Standup", "RRULE:FREQ=DAILY;COUNT=45\r\n");
  events += Event("weekly", ":20240305T150000", ":20240305T160000", "Jour fixe",
                  "RRULE:FREQ=WEEKLY\r\nEXDATE:20240319T150000\r\n");
  events += Event("late", ":20240404T000000", ":20240404T010000", "After the window");
  events += Event("later", ":20240405T090000", ":20240405T100000", "Long after");
  return events;
}

class PositionSeekTest : public CalendarTest {
 protected:
  // The item at the position and then, from it, four steps forward and eight back; then, on the same
  // cursor, the position again and the one after it, each with a step on (a seek into the rows read
  // already): by seeking, or by stepping from the first item.
  static std::vector<std::string> WalkFrom(int64_t position, bool seek, TDateTime from = kFrom,
                                           TDateTime to = kTo) {
    auto messages = Messages("jdoe", from, to);
    std::vector<std::string> seen;
    auto note = [&seen](const std::shared_ptr<cdo::AppointmentItem>& item) {
      seen.push_back(item == nullptr ? "(none)" : Describe(*item));
    };
    auto go_to = [&](int64_t to_position) {
      note(seek ? messages->Seek(to_position) : messages->cdo::Messages::Seek(to_position));
    };
    go_to(position);
    for (int i = 0; i < 4; ++i) note(messages->GetNext());
    for (int i = 0; i < 8; ++i) note(messages->GetPrevious());
    go_to(position);
    note(messages->GetPrevious());
    go_to(position + 1);
    note(messages->GetNext());
    return seen;
  }

  // Every position of the window, and some beyond its end, the same both ways.
  static void ExpectSeeksAsSteps(TDateTime from = kFrom, TDateTime to = kTo) {
    const auto count = static_cast<int64_t>(Window(from, to).size());
    ASSERT_GT(count, 0);
    for (int64_t position = -1; position <= count + 2; ++position)
      EXPECT_EQ(WalkFrom(position, true, from, to), WalkFrom(position, false, from, to))
          << "position " << position;
  }

  static void Execute(const std::string& sql) {
    platform::SqliteDatabase database(platform::PlatformStateFile(CalendarStore::kFileName),
                                      platform::SqliteDatabase::Mode::kReadWrite);
    database.Exec(sql);
  }
};

TEST_F(PositionSeekTest, GivesTheItemsSteppingGivesAtEveryPosition) {
  Import(MixedCalendar());
  const std::vector<std::string> window = Window(kFrom, kTo);
  // What reaches in from before comes first; what ends at the start or starts at the end does not count.
  ASSERT_GE(window.size(), 40u);
  EXPECT_EQ(window[0], "2024-01-10 09:00 -> 2024-03-20 09:00 Sabbatical");
  EXPECT_EQ(window[1], "2024-03-01 12:00 -> 2024-03-06 12:00 Conference");
  EXPECT_EQ(window[2], "2024-03-02 23:00 -> 2024-03-04 01:00 Night shift");
  for (const std::string& item : window) {
    EXPECT_EQ(item.find("Ends at the start"), std::string::npos);
    EXPECT_EQ(item.find("After the window"), std::string::npos);
  }
  ExpectSeeksAsSteps();
  // A window that starts later: the series' earlier occurrences lie between its ordinals.
  ExpectSeeksAsSteps(EncodeDate(2024, 3, 20), EncodeDate(2024, 3, 25));
  // One without an earliest end.
  auto messages = Logon("jdoe")->GetDefaultFolder(cdo::CdoDefaultFolderCalendar)->Messages();
  messages->Filter()->SetField(cdo::CdoPR_START_DATE, kTo);
  const auto first_of_all = messages->Seek(0);
  ASSERT_NE(first_of_all, nullptr);
  EXPECT_EQ(Describe(*first_of_all), "2024-01-10 09:00 -> 2024-03-20 09:00 Sabbatical");
}

// 40 appointments of one start (more than a page, so that pages end inside the group), whose ends,
// subjects and UIDs tie in every way, written in the file in the order given.
std::string CrowdedStart(const std::vector<int>& order) {
  std::string events;
  for (const int i : order) {
    const std::string end = i % 4 == 0 ? "T120000" : "T110000";
    events += Event("u" + std::to_string(100 + (i * 7) % 40), ":20240312T100000", ":20240312" + end,
                    i % 3 == 0 ? "Alpha" : "Beta");
  }
  return events + Event("after", ":20240312T100100", ":20240312T100200", "Just after");
}

TEST_F(PositionSeekTest, AppointmentsOfOneStartComeByEndSubjectAndUidWhateverTheFilesOrder) {
  std::vector<int> forward;
  for (int i = 0; i < 40; ++i) forward.push_back(i);
  const std::vector<int> backward(forward.rbegin(), forward.rend());
  Import(CrowdedStart(forward));
  store_->AddMailbox("other", "Other", kOwnerSid);
  Import(CrowdedStart(backward), "other");

  const std::vector<std::string> window = Window(kFrom, kTo);
  ASSERT_EQ(window.size(), 41u);
  EXPECT_EQ(Window(kFrom, kTo, "other"), window);
  // 30 end at 11:00 (Alpha before Beta), then 10 at 12:00; among equals by UID.
  EXPECT_EQ(window[0], "2024-03-12 10:00 -> 2024-03-12 11:00 Alpha");
  EXPECT_EQ(window[29], "2024-03-12 10:00 -> 2024-03-12 11:00 Beta");
  EXPECT_EQ(window[30], "2024-03-12 10:00 -> 2024-03-12 12:00 Alpha");
  EXPECT_EQ(window[39], "2024-03-12 10:00 -> 2024-03-12 12:00 Beta");
  EXPECT_EQ(window[40], "2024-03-12 10:01 -> 2024-03-12 10:02 Just after");
  auto uids = store_->Database().Prepare(
      "SELECT e.uid FROM appointments a JOIN texts t ON t.id = a.text_id JOIN events e ON e.id = t.event_id "
      "JOIN mailboxes m ON m.id = a.mailbox_id WHERE m.name = ?1 ORDER BY a.ordinal");
  std::vector<std::string> first, second;
  for (auto* names : {&first, &second}) {
    uids.Reset();
    uids.Bind(1, std::string(names == &first ? "jdoe" : "other"));
    while (uids.Step()) names->push_back(uids.ColumnText(0));
  }
  EXPECT_EQ(first, second);
  EXPECT_LT(first[0], first[1]);  // both 11:00 Alpha
  // Seeks land inside the group where steps do, and walks across page ends inside it go on in order.
  ExpectSeeksAsSteps();
  ExpectSeeksAsSteps(kFrom, EncodeDate(2024, 3, 12) + 10.5 / 24);
}

TEST_F(PositionSeekTest, ImportsAndExtensionsRenumberTheMailbox) {
  Import(MixedCalendar());
  // Another mailbox's appointments interleave in time but not in numbers.
  store_->AddMailbox("other", "Other", kOwnerSid);
  Import(Event("o1", ":20240306T080000", ":20240306T090000", "Other's meeting"), "other");
  // A replaced event moves; new ones land before, inside and after what is stored.
  Import(Event("two", ":20240310T230000", ":20240311T010000", "Night shift moved") +
         Event("new1", ":20240201T090000", ":20240305T090000", "Reaching in") +
         Event("new2", ":20240311T100000", ":20240311T100000", "Same start, no length") +
         Event("new3", ":20240403T235900", ":20240404T000000", "Last minute"));
  ExpectSeeksAsSteps();
  // A window past the stored horizon extends the open-ended series first, and numbers again.
  const TDateTime far = Date() + 900;
  ExpectSeeksAsSteps(far, far + 60);
  EXPECT_GE(Window(far, far + 60).size(), 8u);  // the weekly series
}

TEST_F(PositionSeekTest, AStoreOfTheFirstSchemaIsNumberedWhenOpenedAndOneWithoutNumbersIsStepped) {
  Import(MixedCalendar());
  store_.reset();
  Execute(
      "DROP INDEX appointments_by_ordinal; ALTER TABLE appointments DROP COLUMN ordinal; "
      "DROP TABLE caldav_resources; ALTER TABLE mailboxes DROP COLUMN caldav_url; "
      "ALTER TABLE mailboxes DROP COLUMN caldav_user; ALTER TABLE mailboxes DROP COLUMN caldav_allow_http; "
      "ALTER TABLE mailboxes DROP COLUMN caldav_sync_token; "
      "ALTER TABLE mailboxes DROP COLUMN caldav_calendar; "
      "ALTER TABLE mailboxes DROP COLUMN caldav_collection; "
      "ALTER TABLE mailboxes DROP COLUMN caldav_from_template; "
      "ALTER TABLE mailboxes DROP COLUMN caldav_last_used; PRAGMA user_version = 1");
  store_ = std::make_unique<CalendarStore>();
  {
    auto version = store_->Database().Prepare("PRAGMA user_version");
    ASSERT_TRUE(version.Step());
    EXPECT_EQ(version.ColumnInt64(0), 4);
  }
  EXPECT_FALSE(store_->FindMailbox("jdoe")->caldav);
  ExpectSeeksAsSteps();
  store_->Database().Exec("UPDATE appointments SET ordinal = NULL WHERE start_time > 45360");
  ExpectSeeksAsSteps();
}

}  // namespace
}  // namespace qv::testing
