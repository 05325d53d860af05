// Calendars shaped like those that Outlook, Google and others export, imported into the store and
// read back through the messaging library.
#include <gtest/gtest.h>

#include "store/calendar_fixture.h"
#include "store/ical_reader.h"

namespace qv::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kWesternEurope =
    "BEGIN:VTIMEZONE\r\n"
    "TZID:W. Europe Standard Time\r\n"
    "BEGIN:STANDARD\r\n"
    "DTSTART:16011028T030000\r\n"
    "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\n"
    "TZOFFSETFROM:+0200\r\n"
    "TZOFFSETTO:+0100\r\n"
    "END:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\n"
    "DTSTART:16010325T020000\r\n"
    "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\r\n"
    "TZOFFSETFROM:+0100\r\n"
    "TZOFFSETTO:+0200\r\n"
    "END:DAYLIGHT\r\n"
    "END:VTIMEZONE\r\n";

const char* const kNewYork =
    "BEGIN:VTIMEZONE\r\n"
    "TZID:America/New_York\r\n"
    "X-LIC-LOCATION:America/New_York\r\n"
    "BEGIN:DAYLIGHT\r\n"
    "TZOFFSETFROM:-0500\r\n"
    "TZOFFSETTO:-0400\r\n"
    "TZNAME:EDT\r\n"
    "DTSTART:19700308T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\n"
    "END:DAYLIGHT\r\n"
    "BEGIN:STANDARD\r\n"
    "TZOFFSETFROM:-0400\r\n"
    "TZOFFSETTO:-0500\r\n"
    "TZNAME:EST\r\n"
    "DTSTART:19701101T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\n"
    "END:STANDARD\r\n"
    "END:VTIMEZONE\r\n";

// A weekly meeting with one date taken out, one instance moved and renamed, one cancelled, across the
// change to summer time.
const char* const kWeeklyMeeting =
    "BEGIN:VEVENT\r\n"
    "UID:040000008200E00074C5B7101A82E008000000001@example.com\r\n"
    "DTSTART;TZID=W. Europe Standard Time:20240304T100000\r\n"
    "DTEND;TZID=W. Europe Standard Time:20240304T110000\r\n"
    "RRULE:FREQ=WEEKLY;BYDAY=MO;UNTIL=20240415T080000Z\r\n"
    "EXDATE;TZID=W. Europe Standard Time:20240401T100000\r\n"
    "SUMMARY:Team meeting\r\n"
    "LOCATION:Room 4.12\r\n"
    "DESCRIPTION:Weekly status\\, agenda in the wiki.\\nBring your numbers.\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\n"
    "UID:040000008200E00074C5B7101A82E008000000001@example.com\r\n"
    "RECURRENCE-ID;TZID=W. Europe Standard Time:20240318T100000\r\n"
    "DTSTART;TZID=W. Europe Standard Time:20240319T140000\r\n"
    "DTEND;TZID=W. Europe Standard Time:20240319T153000\r\n"
    "SUMMARY:Team meeting (moved)\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\n"
    "UID:040000008200E00074C5B7101A82E008000000001@example.com\r\n"
    "RECURRENCE-ID;TZID=W. Europe Standard Time:20240325T100000\r\n"
    "DTSTART;TZID=W. Europe Standard Time:20240325T100000\r\n"
    "STATUS:CANCELLED\r\n"
    "END:VEVENT\r\n";

TEST_F(CalendarTest, WeeklyMeetingWithExceptionsAndOverriddenInstances) {
  const ImportReport report = Import(std::string(kWesternEurope) + kWeeklyMeeting);
  EXPECT_EQ(report.events, 1u);
  EXPECT_EQ(report.occurrences, 5u);
  EXPECT_THAT(report.skipped, IsEmpty());
  // UNTIL is 10:00 local time on 15 April, so that Monday is the last one.
  EXPECT_THAT(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 5, 1)),
              ElementsAre("2024-03-04 10:00 -> 2024-03-04 11:00 Team meeting",
                          "2024-03-11 10:00 -> 2024-03-11 11:00 Team meeting",
                          "2024-03-19 14:00 -> 2024-03-19 15:30 Team meeting (moved)",
                          "2024-04-08 10:00 -> 2024-04-08 11:00 Team meeting",
                          "2024-04-15 10:00 -> 2024-04-15 11:00 Team meeting"));
  // The moved instance keeps what it does not say itself from the series.
  auto messages = Messages("jdoe", EncodeDate(2024, 3, 19), EncodeDate(2024, 3, 20));
  auto moved = messages->GetFirst();
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->Location(), "Room 4.12");
  EXPECT_EQ(moved->Text(), "Weekly status, agenda in the wiki.\r\nBring your numbers.");
  EXPECT_FALSE(moved->AllDayEvent());
}

TEST_F(CalendarTest, AllDayHolidaysAndMultiDayEvents) {
  Import(
      "BEGIN:VEVENT\r\nUID:easter-monday\r\nDTSTART;VALUE=DATE:20240401\r\nDTEND;VALUE=DATE:20240402\r\n"
      "SUMMARY:Easter Monday\r\nTRANSP:TRANSPARENT\r\nEND:VEVENT\r\n"
      // Google writes yearly holidays without an end: one day.
      "BEGIN:VEVENT\r\nUID:christmas\r\nDTSTART;VALUE=DATE:20201225\r\nRRULE:FREQ=YEARLY\r\n"
      "SUMMARY:Christmas Day\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:ski\r\nDTSTART;VALUE=DATE:20231227\r\nDTEND;VALUE=DATE:20240103\r\n"
      "SUMMARY:Skiing\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:new-year\r\nDTSTART;VALUE=DATE:20240101\r\nSUMMARY:New Year\r\nEND:VEVENT\r\n");
  EXPECT_THAT(Window(EncodeDate(2023, 12, 1), EncodeDate(2024, 4, 30)),
              ElementsAre("2023-12-25 all day -> 2023-12-26 00:00 Christmas Day",
                          "2023-12-27 all day -> 2024-01-03 00:00 Skiing",
                          "2024-01-01 all day -> 2024-01-02 00:00 New Year",
                          "2024-04-01 all day -> 2024-04-02 00:00 Easter Monday"));
  // A window that starts inside the skiing week still shows it, first; yesterday's holiday, which
  // ends at the window's first moment, does not show.
  EXPECT_THAT(Window(EncodeDate(2023, 12, 26), EncodeDate(2023, 12, 28)),
              ElementsAre("2023-12-27 all day -> 2024-01-03 00:00 Skiing"));
  EXPECT_THAT(Window(EncodeDate(2024, 1, 1), EncodeDate(2024, 1, 2)),
              ElementsAre("2023-12-27 all day -> 2024-01-03 00:00 Skiing",
                          "2024-01-01 all day -> 2024-01-02 00:00 New Year"));
}

TEST_F(CalendarTest, TimesOfOtherZonesBecomeTheServersLocalTime) {
  const ImportReport report =
      Import(std::string(kNewYork) +
             // 9:00 in New York on 20 March: summer time there already, not yet here (5 hours apart).
             "BEGIN:VEVENT\r\nUID:ny-call\r\nDTSTART;TZID=America/New_York:20240320T090000\r\n"
             "DTEND;TZID=America/New_York:20240320T100000\r\nSUMMARY:Call with New York\r\nEND:VEVENT\r\n"
             // UTC, during summer time here.
             "BEGIN:VEVENT\r\nUID:utc\r\nDTSTART:20240402T070000Z\r\nDURATION:PT45M\r\nSUMMARY:"
             "Standup\r\nEND:VEVENT\r\n"
             // A zone of the system's zone database without a VTIMEZONE in the file.
             "BEGIN:VEVENT\r\nUID:tokyo\r\nDTSTART;TZID=Asia/Tokyo:20240405T180000\r\n"
             "DTEND;TZID=Asia/Tokyo:20240405T190000\r\nSUMMARY:Tokyo office\r\nEND:VEVENT\r\n"
             // A flight that leaves in one zone and lands in another.
             "BEGIN:VEVENT\r\nUID:flight\r\nDTSTART;TZID=America/New_York:20240410T180000\r\n"
             "DTEND:20240411T060000Z\r\nSUMMARY:Flight home\r\nEND:VEVENT\r\n"
             // A zone nobody knows: taken as local time, and said so.
             "BEGIN:VEVENT\r\nUID:mars\r\nDTSTART;TZID=Olympus Mons Time:20240412T080000\r\n"
             "DTEND;TZID=Olympus Mons Time:20240412T090000\r\nSUMMARY:Rover check\r\nEND:VEVENT\r\n");
  EXPECT_THAT(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 5, 1)),
              ElementsAre("2024-03-20 14:00 -> 2024-03-20 15:00 Call with New York",
                          "2024-04-02 09:00 -> 2024-04-02 09:45 Standup",
                          "2024-04-05 11:00 -> 2024-04-05 12:00 Tokyo office",
                          "2024-04-11 00:00 -> 2024-04-11 08:00 Flight home",
                          "2024-04-12 08:00 -> 2024-04-12 09:00 Rover check"));
  ASSERT_EQ(report.notes.size(), 1u);
  EXPECT_EQ(report.notes[0].uid, "mars");
  EXPECT_EQ(report.notes[0].line, 48);
  EXPECT_NE(report.notes[0].text.find("unknown time zone \"Olympus Mons Time\""), std::string::npos);
}

// libical works out every offset change of a zone from the observance's start to 2037 when it first
// converts a time: a zone that changes every hour would cost minutes at each import. Such a
// definition is left out (its times become local times); real zones, also those that start in 1601
// as Outlook's do or in year 1, are used.
TEST_F(CalendarTest, AZoneThatChangesItsOffsetEveryHourIsLeftOut) {
  const ImportReport report = Import(
      "BEGIN:VTIMEZONE\r\nTZID:Hourly\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
      "RRULE:FREQ=HOURLY\r\nTZOFFSETFROM:+0300\r\nTZOFFSETTO:+0300\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
      "BEGIN:VTIMEZONE\r\nTZID:Since year one\r\nBEGIN:STANDARD\r\nDTSTART:00010101T000000\r\n"
      "RRULE:FREQ=YEARLY\r\nTZOFFSETFROM:+0300\r\nTZOFFSETTO:+0300\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
      "BEGIN:VEVENT\r\nUID:hourly\r\nDTSTART;TZID=Hourly:20240320T090000\r\nDURATION:PT1H\r\n"
      "SUMMARY:Hourly zone\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:old\r\nDTSTART;TZID=Since year one:20240320T090000\r\nDURATION:PT1H\r\n"
      "SUMMARY:Year one zone\r\nEND:VEVENT\r\n");
  ASSERT_EQ(report.notes.size(), 2u);
  EXPECT_EQ(report.notes[0].line, 4);
  EXPECT_EQ(report.notes[0].text, "a VTIMEZONE without a usable definition was left out");
  EXPECT_EQ(report.notes[1].uid, "hourly");
  EXPECT_NE(report.notes[1].text.find("unknown time zone \"Hourly\""), std::string::npos);
  // 9:00 at +03:00 is 7:00 here (CET, +01:00).
  EXPECT_THAT(Window(EncodeDate(2024, 3, 20), EncodeDate(2024, 3, 21)),
              ElementsAre("2024-03-20 07:00 -> 2024-03-20 08:00 Year one zone",
                          "2024-03-20 09:00 -> 2024-03-20 10:00 Hourly zone"));
}

TEST_F(CalendarTest, RecurringEventInAnotherZoneFollowsThatZonesSummerTime) {
  // A 9:00 New York meeting every Monday: 15:00 here, except in the weeks in which only one side has
  // changed its clocks (from 10 March to 31 March 2024).
  Import(std::string(kNewYork) +
         "BEGIN:VEVENT\r\nUID:ny-weekly\r\nDTSTART;TZID=America/New_York:20240304T090000\r\n"
         "DTEND;TZID=America/New_York:20240304T093000\r\nRRULE:FREQ=WEEKLY;COUNT=5\r\n"
         "SUMMARY:NY sync\r\nEND:VEVENT\r\n");
  EXPECT_THAT(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 5, 1)),
              ElementsAre("2024-03-04 15:00 -> 2024-03-04 15:30 NY sync",
                          "2024-03-11 14:00 -> 2024-03-11 14:30 NY sync",
                          "2024-03-18 14:00 -> 2024-03-18 14:30 NY sync",
                          "2024-03-25 14:00 -> 2024-03-25 14:30 NY sync",
                          "2024-04-01 15:00 -> 2024-04-01 15:30 NY sync"));
}

TEST_F(CalendarTest, EventsAcrossMidnightAndBeforeTheWindow) {
  Import(
      "BEGIN:VEVENT\r\nUID:party\r\nDTSTART:20240322T230000\r\nDTEND:20240323T013000\r\nSUMMARY:Party\r\nEND:"
      "VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:sabbatical\r\nDTSTART;VALUE=DATE:20230601\r\nDTEND;VALUE=DATE:20240601\r\n"
      "SUMMARY:Sabbatical\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:old\r\nDTSTART:20240322T100000\r\nDTEND:20240322T110000\r\nSUMMARY:Done\r\nEND:"
      "VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:breakfast\r\nDTSTART:20240323T080000\r\nDTEND:20240323T090000\r\n"
      "SUMMARY:Breakfast\r\nEND:VEVENT\r\n");
  // Starting at midnight: the party and the year-long sabbatical started before and go on; they come
  // first, in start order.
  EXPECT_THAT(Window(EncodeDate(2024, 3, 23), EncodeDate(2024, 3, 24)),
              ElementsAre("2023-06-01 all day -> 2024-06-01 00:00 Sabbatical",
                          "2024-03-22 23:00 -> 2024-03-23 01:30 Party",
                          "2024-03-23 08:00 -> 2024-03-23 09:00 Breakfast"));
  EXPECT_THAT(
      Window(EncodeDate(2024, 3, 22), EncodeDate(2024, 3, 23)),
      ElementsAre("2023-06-01 all day -> 2024-06-01 00:00 Sabbatical",
                  "2024-03-22 10:00 -> 2024-03-22 11:00 Done", "2024-03-22 23:00 -> 2024-03-23 01:30 Party"));
}

TEST_F(CalendarTest, LongTextsAndCharactersOutsideTheCodePage) {
  std::string long_text;
  for (int i = 0; i < 400; ++i) long_text += "Line " + std::to_string(i) + " of the minutes\\n";
  std::string folded;
  ical::AppendFoldedLine("DESCRIPTION:" + long_text, &folded);
  Import(
      "BEGIN:VEVENT\r\nUID:texts\r\nDTSTART:20240305T120000\r\nDTEND:20240305T130000\r\n"
      // Café, a coffee cup (U+2615), an em dash and Russian "Privet".
      "SUMMARY:Caf\xC3\xA9 \xE2\x98\x95 M\xC3\xBCller \xE2\x80\x94 "
      "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\n"
      "LOCATION:Stra\xC3\x9F"
      "e 5\\; 2. OG\r\n" +
      folded + "END:VEVENT\r\n");
  auto item = Messages("jdoe", EncodeDate(2024, 3, 5), EncodeDate(2024, 3, 6))->GetFirst();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Subject(), "Caf\xE9 ? M\xFCller \x97 ??????");
  EXPECT_EQ(item->Location(),
            "Stra\xDF"
            "e 5; 2. OG");
  std::string expected;
  for (int i = 0; i < 400; ++i) expected += "Line " + std::to_string(i) + " of the minutes\r\n";
  EXPECT_EQ(item->Text(), expected);
}

TEST_F(CalendarTest, LengthsThatMakeNoSense) {
  const ImportReport report = Import(
      "BEGIN:VEVENT\r\nUID:point\r\nDTSTART:20240306T120000\r\nDTEND:20240306T120000\r\nSUMMARY:Point\r\nEND:"
      "VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:no-end\r\nDTSTART:20240306T080000\r\nSUMMARY:Reminder\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:inverted\r\nDTSTART:20240306T150000\r\nDTEND:20240306T140000\r\n"
      "SUMMARY:Backwards\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:day-no-end\r\nDTSTART;VALUE=DATE:20240306\r\nSUMMARY:Day\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:day-inverted\r\nDTSTART;VALUE=DATE:20240306\r\nDTEND;VALUE=DATE:20240305\r\n"
      "SUMMARY:Odd day\r\nEND:VEVENT\r\n");
  EXPECT_THAT(Window(EncodeDate(2024, 3, 6), EncodeDate(2024, 3, 7)),
              ElementsAre("2024-03-06 all day -> 2024-03-07 00:00 Day",
                          "2024-03-06 all day -> 2024-03-07 00:00 Odd day",
                          "2024-03-06 08:00 -> 2024-03-06 08:00 Reminder",
                          "2024-03-06 12:00 -> 2024-03-06 12:00 Point",
                          "2024-03-06 15:00 -> 2024-03-06 15:00 Backwards"));
  ASSERT_EQ(report.notes.size(), 2u);
  EXPECT_EQ(report.notes[0].uid, "inverted");
  EXPECT_EQ(report.notes[0].text, "the event ends before it starts: taken as lasting no time");
  EXPECT_EQ(report.notes[1].uid, "day-inverted");
  // An event of no length counts at its moment: at the window's first moment, not at its end.
  EXPECT_THAT(Window(EncodeDate(2024, 3, 6) + 0.5, EncodeDate(2024, 3, 6) + 0.6),
              ElementsAre("2024-03-06 all day -> 2024-03-07 00:00 Day",
                          "2024-03-06 all day -> 2024-03-07 00:00 Odd day",
                          "2024-03-06 12:00 -> 2024-03-06 12:00 Point"));
  EXPECT_THAT(Window(EncodeDate(2024, 3, 6) + 0.4, EncodeDate(2024, 3, 6) + 0.5),
              ElementsAre("2024-03-06 all day -> 2024-03-07 00:00 Day",
                          "2024-03-06 all day -> 2024-03-07 00:00 Odd day"));
}

TEST_F(CalendarTest, RecurrenceDatesAndLoneInstances) {
  const ImportReport report = Import(
      "BEGIN:VEVENT\r\nUID:rdates\r\nDTSTART:20240307T090000\r\nDTEND:20240307T100000\r\n"
      "RDATE:20240309T090000,20240311T160000\r\nRDATE;VALUE=PERIOD:20240313T090000/PT3H\r\n"
      "EXDATE:20240309T090000\r\nSUMMARY:Course\r\nEND:VEVENT\r\n"
      // An invitation to one instance of somebody else's series.
      "BEGIN:VEVENT\r\nUID:foreign-series\r\nRECURRENCE-ID:20240308T110000\r\nDTSTART:20240308T113000\r\n"
      "DTEND:20240308T120000\r\nSUMMARY:Review (one instance)\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:cancelled\r\nDTSTART:20240308T080000\r\nSTATUS:CANCELLED\r\nSUMMARY:Gone\r\nEND:"
      "VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:no-start\r\nSUMMARY:Floating idea\r\nEND:VEVENT\r\n"
      "BEGIN:VTODO\r\nUID:todo\r\nSUMMARY:Tax return\r\nEND:VTODO\r\n");
  EXPECT_THAT(Window(EncodeDate(2024, 3, 7), EncodeDate(2024, 3, 14)),
              ElementsAre("2024-03-07 09:00 -> 2024-03-07 10:00 Course",
                          "2024-03-08 11:30 -> 2024-03-08 12:00 Review (one instance)",
                          "2024-03-11 16:00 -> 2024-03-11 17:00 Course",
                          "2024-03-13 09:00 -> 2024-03-13 12:00 Course"));
  EXPECT_EQ(report.events, 2u);
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(report.skipped[0].uid, "cancelled");
  EXPECT_EQ(report.skipped[0].text, "cancelled");
  EXPECT_EQ(report.skipped[1].uid, "no-start");
  EXPECT_EQ(report.skipped[1].text, "no DTSTART");
  EXPECT_EQ(report.ignored_components.at("VTODO"), 1u);
}

TEST_F(CalendarTest, ImportingAgainReplacesEventsOfTheSameUid) {
  Import(
      "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240301T090000\r\nSUMMARY:First\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nDTSTART:20240301T100000\r\nSUMMARY:Without UID\r\nEND:VEVENT\r\n");
  const ImportReport again = Import(
      "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240301T093000\r\nSUMMARY:Second\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nDTSTART:20240301T100000\r\nSUMMARY:Without UID\r\nEND:VEVENT\r\n");
  EXPECT_EQ(again.replaced, 2u);
  EXPECT_THAT(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 3, 2)),
              ElementsAre("2024-03-01 09:30 -> 2024-03-01 09:30 Second",
                          "2024-03-01 10:00 -> 2024-03-01 10:00 Without UID"));
  store_->Import(
      "jdoe", Calendar("BEGIN:VEVENT\r\nUID:b\r\nDTSTART:20240301T120000\r\nSUMMARY:Only\r\nEND:VEVENT\r\n"),
      true);
  EXPECT_THAT(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 3, 2)),
              ElementsAre("2024-03-01 12:00 -> 2024-03-01 12:00 Only"));
}

TEST_F(CalendarTest, InstancesWithoutTheirEventUpdateTheStoredSeries) {
  Import(std::string(kWesternEurope) + kWeeklyMeeting);
  // Later, an update of two single meetings: the moved one moves again, another one gets a new room.
  // The zone comes from the first import.
  const ImportReport update = Import(
      "BEGIN:VEVENT\r\nUID:040000008200E00074C5B7101A82E008000000001@example.com\r\n"
      "RECURRENCE-ID;TZID=W. Europe Standard Time:20240318T100000\r\n"
      "DTSTART;TZID=W. Europe Standard Time:20240320T090000\r\n"
      "DTEND;TZID=W. Europe Standard Time:20240320T100000\r\nSUMMARY:Team meeting (moved "
      "again)\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:040000008200E00074C5B7101A82E008000000001@example.com\r\n"
      "RECURRENCE-ID;TZID=W. Europe Standard Time:20240408T100000\r\n"
      "DTSTART;TZID=W. Europe Standard Time:20240408T100000\r\n"
      "DTEND;TZID=W. Europe Standard Time:20240408T110000\r\nLOCATION:Room 1.01\r\nEND:VEVENT\r\n");
  EXPECT_EQ(update.replaced, 1u);
  EXPECT_THAT(update.notes, IsEmpty());
  EXPECT_THAT(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 5, 1)),
              ElementsAre("2024-03-04 10:00 -> 2024-03-04 11:00 Team meeting",
                          "2024-03-11 10:00 -> 2024-03-11 11:00 Team meeting",
                          "2024-03-20 09:00 -> 2024-03-20 10:00 Team meeting (moved again)",
                          "2024-04-08 10:00 -> 2024-04-08 11:00 Team meeting",
                          "2024-04-15 10:00 -> 2024-04-15 11:00 Team meeting"));
  auto messages = Messages("jdoe", EncodeDate(2024, 4, 8), EncodeDate(2024, 4, 9));
  EXPECT_EQ(messages->GetFirst()->Location(), "Room 1.01");
  // The cancelled instance stays cancelled: the stored instances the update does not name are kept.
  EXPECT_THAT(Window(EncodeDate(2024, 3, 25), EncodeDate(2024, 3, 26)), IsEmpty());
}

// An event's overridden instances may come before it, and the zone it names after it; a second event
// of a UID is skipped, and an event that keeps no occurrence is stored with a note. Entries are
// reported at the line of their event.
TEST_F(CalendarTest, EventsGatherByUidWhereverTheirPartsStand) {
  const ImportReport report = Import(
      "BEGIN:VEVENT\r\nUID:series\r\nRECURRENCE-ID;TZID=Later zone:20240311T100000\r\n"  // line 4
      "DTSTART:20240312T100000\r\nDTEND:20240312T110000\r\nSUMMARY:Moved\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:series\r\nDTSTART;TZID=Later zone:20240304T100000\r\nDURATION:PT1H\r\n"  // 11
      "RRULE:FREQ=WEEKLY;COUNT=3\r\nSUMMARY:Weekly\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:series\r\nDTSTART:20240305T100000\r\nSUMMARY:Again\r\nEND:VEVENT\r\n"  // 18
      "BEGIN:VEVENT\r\nUID:called-off\r\nRECURRENCE-ID:20240307T100000\r\nEND:VEVENT\r\n"         // 23
      "BEGIN:VEVENT\r\nUID:called-off\r\nDTSTART:20240307T100000\r\nRRULE:FREQ=DAILY\r\n"         // 27
      "STATUS:CANCELLED\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:gone\r\nDTSTART:20240306T090000\r\nEXDATE:20240306T090000\r\n"  // 33
      "SUMMARY:Nothing left\r\nEND:VEVENT\r\n"
      "BEGIN:VTIMEZONE\r\nTZID:Later zone\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
      "RRULE:FREQ=YEARLY\r\nTZOFFSETFROM:+0300\r\nTZOFFSETTO:+0300\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n");
  // 10:00 at +03:00 is 8:00 here; the instance of 11 March is moved to the 12th at 10:00 local time.
  EXPECT_THAT(
      Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 4, 1)),
      ElementsAre("2024-03-04 08:00 -> 2024-03-04 09:00 Weekly", "2024-03-12 10:00 -> 2024-03-12 11:00 Moved",
                  "2024-03-18 08:00 -> 2024-03-18 09:00 Weekly"));
  EXPECT_EQ(report.events, 2u);
  EXPECT_EQ(report.occurrences, 3u);
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(report.skipped[0].line, 18);
  EXPECT_EQ(report.skipped[0].uid, "series");
  EXPECT_EQ(report.skipped[0].text, "a second event with the same UID");
  EXPECT_EQ(report.skipped[1].line, 27);
  EXPECT_EQ(report.skipped[1].uid, "called-off");
  EXPECT_EQ(report.skipped[1].text, "cancelled");
  ASSERT_EQ(report.notes.size(), 1u);
  EXPECT_EQ(report.notes[0].line, 33);
  EXPECT_EQ(report.notes[0].uid, "gone");
  EXPECT_EQ(report.notes[0].text, "no occurrence is left");
}

// Emptied first, the calendar has no series for a lone instance to join: it is an appointment of its own.
TEST_F(CalendarTest, WithReplaceLoneInstancesStandAlone) {
  Import(std::string(kWesternEurope) + kWeeklyMeeting);
  const ImportReport report = store_->Import(
      "jdoe",
      Calendar(std::string(kWesternEurope) +
               "BEGIN:VEVENT\r\nUID:040000008200E00074C5B7101A82E008000000001@example.com\r\n"
               "RECURRENCE-ID;TZID=W. Europe Standard Time:20240318T100000\r\n"
               "DTSTART;TZID=W. Europe Standard Time:20240320T090000\r\n"
               "DTEND;TZID=W. Europe Standard Time:20240320T100000\r\nSUMMARY:Alone\r\nEND:VEVENT\r\n"),
      true);
  EXPECT_EQ(report.events, 1u);
  EXPECT_EQ(report.replaced, 0u);
  EXPECT_THAT(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 5, 1)),
              ElementsAre("2024-03-20 09:00 -> 2024-03-20 10:00 Alone"));
}

TEST_F(CalendarTest, MalformedFilesAreRefusedWithTheirLineAndLeaveNothing) {
  Import("BEGIN:VEVENT\r\nUID:kept\r\nDTSTART:20240301T090000\r\nSUMMARY:Kept\r\nEND:VEVENT\r\n");
  const std::string good_event =
      "BEGIN:VEVENT\r\nUID:new\r\nDTSTART:20240301T100000\r\nSUMMARY:New\r\nEND:VEVENT\r\n";
  struct Case {
    std::string body;
    int line;
    std::string reason;
  };
  const Case cases[] = {
      {good_event + "BEGIN:VEVENT\r\nUID:x\r\nDTSTART:20240230T100000\r\nEND:VEVENT\r\n", 11,
       "DTSTART \"20240230T100000\" is not a date or a date-time"},
      {good_event +
           "BEGIN:VEVENT\r\nUID:x\r\nDTSTART:20240301T100000\r\nRRULE:FREQ=SOMETIMES\r\nEND:VEVENT\r\n",
       12, "RRULE \"FREQ=SOMETIMES\" cannot be read"},
      {good_event + "BEGIN:VEVENT\r\nUID:x\r\nDTSTART:20240301T100000\r\nDURATION:an hour\r\nEND:VEVENT\r\n",
       12, "DURATION \"an hour\" is not a duration"},
      {good_event + "BEGIN:VEVENT\r\nSUMMARY Lunch\r\nEND:VEVENT\r\n", 10,
       "the property SUMMARY has no \":\" before its value"},
      {good_event + "BEGIN:VEVENT\r\nUID:x\r\nEND:VALARM\r\n", 11,
       "END:VALARM where BEGIN:VEVENT of line 9 is to end"},
      {good_event + "BEGIN:VEVENT\r\nUID:x\r\n", 11, "END:VCALENDAR where BEGIN:VEVENT of line 9 is to end"},
      {good_event + "SUMMARY:Caf\xE9\r\n", 9, "the text is not UTF-8"},
      {good_event + "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20240301T100000\r\nEND:VEVENT\r\n", 10,
       "DTSTART \"20240301T100000\" is not of VALUE=DATE"},
  };
  for (const Case& bad : cases) {
    try {
      Import(bad.body);
      ADD_FAILURE() << "accepted: " << bad.body;
    } catch (const ical::EIcalFormatError& error) {
      EXPECT_EQ(error.Line, bad.line) << bad.body;
      EXPECT_EQ(error.Reason, bad.reason);
      EXPECT_EQ(std::string(error.what()), "line " + std::to_string(bad.line) + ": " + bad.reason);
    }
  }
  try {
    store_->Import("jdoe", "BEGIN:VEVENT\r\nEND:VEVENT\r\n", false);
    ADD_FAILURE() << "a file without VCALENDAR was accepted";
  } catch (const ical::EIcalFormatError& error) {
    EXPECT_EQ(error.Line, 1);
  }
  try {
    store_->Import("jdoe", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:x\r\n", false);
    ADD_FAILURE() << "an unfinished file was accepted";
  } catch (const ical::EIcalFormatError& error) {
    EXPECT_EQ(std::string(error.what()), "line 2: BEGIN:VEVENT has no END");
  }
  EXPECT_THROW(store_->Import("jdoe", "", false), ical::EIcalFormatError);
  EXPECT_THAT(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 3, 2)),
              ElementsAre("2024-03-01 09:00 -> 2024-03-01 09:00 Kept"));
}

TEST_F(CalendarTest, ImportIntoAnUnknownMailboxIsRefused) {
  EXPECT_THROW(Import("BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240301T090000\r\nEND:VEVENT\r\n", "nobody"),
               ECalendarStoreError);
}

TEST_F(CalendarTest, ExportedCalendarsImportToTheSameAppointments) {
  Import(std::string(kWesternEurope) + kWeeklyMeeting +
         "BEGIN:VEVENT\r\nUID:x\r\nDTSTART;VALUE=DATE:20240401\r\nSUMMARY:Caf\xC3\xA9\r\n"
         "X-ALT-DESC;FMTTYPE=text/html:<p>kept as it came</p>\r\nEND:VEVENT\r\n");
  const std::string exported = store_->Export("jdoe");
  EXPECT_EQ(exported.rfind("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n", 0), 0u);
  EXPECT_NE(exported.find("X-ALT-DESC;FMTTYPE=text/html:<p>kept as it came</p>\r\n"), std::string::npos);
  for (size_t at = 0, end; (end = exported.find("\r\n", at)) != std::string::npos; at = end + 2)
    EXPECT_LE(end - at, 75u);
  store_->AddMailbox("copy", "Copy", kOwnerSid);
  store_->Import("copy", exported, false);
  EXPECT_EQ(Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 5, 1), "copy"),
            Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 5, 1), "jdoe"));
  EXPECT_EQ(store_->Export("copy"), exported);
}

TEST_F(CalendarTest, LargeImportsReportProgressAndRefuseRunawayRules) {
  std::string body;
  for (int i = 0; i < 3000; ++i)
    body += "BEGIN:VEVENT\r\nUID:e" + std::to_string(i) + "\r\nDTSTART:20240301T" + (i % 24 < 10 ? "0" : "") +
            std::to_string(i % 24) + "0000\r\nSUMMARY:Item\r\nEND:VEVENT\r\n";
  body +=
      "BEGIN:VEVENT\r\nUID:every-second\r\nDTSTART:20240301T000000\r\nRRULE:FREQ=SECONDLY\r\nEND:VEVENT\r\n";
  size_t calls = 0, last_done = 0, total = 0;
  const ImportReport report = store_->Import("jdoe", Calendar(body), false, [&](size_t done, size_t all) {
    ++calls;
    EXPECT_GT(done, last_done);
    last_done = done;
    total = all;
  });
  EXPECT_EQ(report.events, 3000u);
  EXPECT_EQ(total, 3000u);
  EXPECT_EQ(last_done, 3000u);
  EXPECT_EQ(calls, 3000u);
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].uid, "every-second");
  EXPECT_EQ(report.skipped[0].text, "more than 100000 occurrences");
}

// libical walks a rule finer than daily one unit at a time, also through the units its BY parts leave
// out: every minute of four years for the minutes of one 29 February (seconds of work, and minutes
// for a rule every second). Such a rule is refused when its range holds more than 500,000 units; an
// hourly rule limited to some hours of weekdays walks few enough.
TEST_F(CalendarTest, RulesFinerThanDailyThatLeaveOutMostUnitsAreRefused) {
  const ImportReport report = Import(
      "BEGIN:VEVENT\r\nUID:leap-minutes\r\nDTSTART:20250301T000000\r\n"
      "RRULE:FREQ=MINUTELY;BYMONTH=2;BYMONTHDAY=29\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:leap-seconds\r\nDTSTART:20250301T000000\r\n"
      "RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29;UNTIL=20280301T000000\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:office-hours\r\nDTSTART:20240304T090000\r\nDURATION:PT30M\r\n"
      "RRULE:FREQ=HOURLY;BYDAY=MO,TU;BYHOUR=9,10;UNTIL=20240312T000000\r\nSUMMARY:Office hour\r\n"
      "END:VEVENT\r\n");
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(report.skipped[0].uid, "leap-minutes");
  EXPECT_EQ(report.skipped[1].uid, "leap-seconds");
  EXPECT_EQ(report.skipped[1].text, "more than 100000 occurrences");
  EXPECT_EQ(report.events, 1u);
  EXPECT_EQ(report.occurrences, 6u);  // 4, 5 and 11 March at 9:00 and 10:00
}

}  // namespace
}  // namespace qv::testing
