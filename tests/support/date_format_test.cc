#include "support/date_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/errors/exception.h"
#include "platform/process/environment.h"

namespace qv {
namespace {

using platform::LocaleInfo;

// Tuesday, 5 March 2024.
TDateTime At(int hour, int minute, int second, int milliseconds = 0) {
  return EncodeDate(2024, 3, 5) + EncodeTime(hour, minute, second, milliseconds);
}

std::string Us(TDateTime value, const std::string& pattern) {
  return FormatDateTime(value, pattern, platform::UnitedStatesLocale());
}

LocaleInfo German() {
  LocaleInfo info = platform::UnitedStatesLocale();
  info.short_date_format = "dd/MM/yyyy";
  info.long_date_format = "dddd, d. MMMM yyyy";
  info.short_time_format = "HH:nn";
  info.long_time_format = "HH:nn:ss";
  info.long_month_names[2] = "M\xE4rz";
  info.long_day_names[2] = "Dienstag";
  info.date_separator = '.';
  info.time_am_string = "";
  info.time_pm_string = "";
  return info;
}

TEST(FormatDateTime, ElementCShowsTheTimeOnlyWhenItIsNotMidnight) {
  EXPECT_EQ(Us(At(0, 0, 0), "c"), "3/5/2024");
  EXPECT_EQ(Us(At(0, 0, 1), "c"), "3/5/2024 12:00:01 AM");
  EXPECT_EQ(Us(At(0, 0, 0, 500), "c"), "3/5/2024");  // milliseconds do not count
  EXPECT_EQ(Us(At(13, 5, 9), "c"), "3/5/2024 1:05:09 PM");
  EXPECT_EQ(Us(At(13, 5, 9), "cc"), Us(At(13, 5, 9), "c"));
  EXPECT_EQ(FormatDateTime(At(13, 5, 9), "c", German()), "05.03.2024 13:05:09");
}

TEST(FormatDateTime, MAfterAnHourMeansMinutes) {
  const TDateTime value = At(13, 7, 9);
  EXPECT_EQ(Us(value, "hh:mm"), "13:07");
  EXPECT_EQ(Us(value, "mm"), "03");
  EXPECT_EQ(Us(value, "m"), "3");
  EXPECT_EQ(Us(value, "HH 'at' MM"), "13 at 07");  // quoted text does not stand between them
  EXPECT_EQ(Us(value, "hh d mm"), "13 5 03");      // another letter element does
  EXPECT_EQ(Us(value, "hh:mm:mm"), "13:07:03");    // only right after the hour
  EXPECT_EQ(Us(value, "hhmm nnn"), "1307 07");
  EXPECT_EQ(Us(value, "h mmm h mmmm"), "13 Mar 13 March");
  EXPECT_EQ(Us(value, "mm/dd hh:mm"), "03/05 13:07");
}

TEST(FormatDateTime, SlashAndColonAreTheLocaleSeparators) {
  const TDateTime value = At(13, 7, 9);
  EXPECT_EQ(Us(value, "dd.mm.yyyy"), "05.03.2024");
  EXPECT_EQ(Us(value, "dd/mm/yyyy"), "05/03/2024");
  EXPECT_EQ(FormatDateTime(value, "dd/mm/yyyy", German()), "05.03.2024");
  LocaleInfo dashes = German();
  dashes.date_separator = '-';
  dashes.time_separator = '.';
  EXPECT_EQ(FormatDateTime(value, "dd/mm/yyyy", dashes), "05-03-2024");
  EXPECT_EQ(FormatDateTime(value, "dd.mm.yyyy", dashes), "05.03.2024");
  EXPECT_EQ(FormatDateTime(value, "hh:nn", dashes), "13.07");
  EXPECT_EQ(FormatDateTime(value, "--:--", dashes), "--.--");
  dashes.date_separator = '\0';  // a locale without one
  EXPECT_EQ(FormatDateTime(value, "dd/mm", dashes), "0503");
}

TEST(FormatDateTime, QuotedTextIsCopiedWithoutItsQuotes) {
  const TDateTime value = At(13, 7, 9);
  EXPECT_EQ(Us(value, "'day' d \"of\" mmmm"), "day 5 of March");
  EXPECT_EQ(Us(value, "\"it's\" h"), "it's 13");
  EXPECT_EQ(Us(value, "'say \"hh\"' h"), "say \"hh\" 13");
  EXPECT_EQ(Us(value, "''d"), "5");
  EXPECT_EQ(Us(value, "d 'open: /c"), "5 open: /c");  // an open quote runs to the end
  EXPECT_EQ(Us(value, "|-&#62; d"), "|-&#62; 5");     // other characters stand for themselves
}

TEST(FormatDateTime, MorningAndAfternoonElementsChooseTheTwelveHourClock) {
  const TDateTime value = At(13, 5, 0);
  EXPECT_EQ(Us(value, "h:nn am/pm"), "1:05 pm");
  EXPECT_EQ(Us(value, "h:nn AM/PM"), "1:05 PM");
  EXPECT_EQ(Us(value, "h:nn Am/pM"), "1:05 pM");
  EXPECT_EQ(Us(value, "h:nn a/p"), "1:05 p");
  EXPECT_EQ(Us(value, "h:nn A/P"), "1:05 P");
  EXPECT_EQ(Us(value, "hh:nn ampm"), "01:05 PM");
  EXPECT_EQ(Us(value, "hh:nn"), "13:05");
  EXPECT_EQ(Us(At(0, 30, 0), "h:nn am/pm"), "12:30 am");
  EXPECT_EQ(Us(At(12, 0, 0), "h:nn a/p"), "12:00 p");
  EXPECT_EQ(Us(At(11, 59, 0), "h:nn AMPM"), "11:59 AM");
  EXPECT_EQ(FormatDateTime(value, "h:nn ampm", German()), "1:05 ");
}

TEST(FormatDateTime, TwelveHourClockLooksAheadOnlyToTheNextHour) {
  const TDateTime value = At(13, 5, 0);
  EXPECT_EQ(Us(value, "hh 'am/pm'"), "13 am/pm");  // quoted: no element
  EXPECT_EQ(Us(value, "h hh am/pm"), "13 01 pm");  // the first hour meets an hour first
  EXPECT_EQ(Us(value, "am/pm h"), "pm 1");         // already met
  EXPECT_EQ(Us(value, "t h"), "1:05 PM 1");        // met inside an inserted locale pattern
  EXPECT_EQ(FormatDateTime(value, "t h", German()), "13:05 13");
  EXPECT_EQ(Us(value, "h aaa"), "13 Tue");  // a weekday is no marker
}

TEST(FormatDateTime, YearsInTwoOrFourDigits) {
  const TDateTime value = At(13, 5, 0);
  EXPECT_EQ(Us(value, "y"), "24");
  EXPECT_EQ(Us(value, "yy"), "24");
  EXPECT_EQ(Us(value, "yyy"), "2024");
  EXPECT_EQ(Us(value, "yyyy"), "2024");
  EXPECT_EQ(Us(value, "yyyyy"), "2024");
  EXPECT_EQ(Us(EncodeDate(5, 1, 2), "y yyyy"), "05 0005");
  EXPECT_EQ(Us(EncodeDate(2000, 1, 2), "y"), "00");
}

TEST(FormatDateTime, NumbersArePaddedToTheirElement) {
  const TDateTime value = EncodeDate(2024, 3, 5) + EncodeTime(9, 4, 3, 7);
  EXPECT_EQ(Us(value, "d dd m mm"), "5 05 3 03");
  EXPECT_EQ(Us(value, "h hh hhh"), "9 09 09");
  EXPECT_EQ(Us(value, "n nn nnn s ss sss"), "4 04 04 3 03 03");
  EXPECT_EQ(Us(value, "z zz zzz zzzz"), "7 07 007 007");
  EXPECT_EQ(Us(EncodeDate(2024, 12, 25) + EncodeTime(23, 59, 58, 999), "dd/mm hh:nn:ss.zzz"),
            "25/12 23:59:58.999");
}

TEST(FormatDateTime, NamesComeFromTheLocale) {
  const TDateTime value = At(13, 5, 0);
  EXPECT_EQ(Us(value, "ddd dddd mmm mmmm"), "Tue Tuesday Mar March");
  EXPECT_EQ(Us(value, "mmmmmm"), "March");
  EXPECT_EQ(Us(value, "aaa aaaa"), "Tue Tuesday");
  EXPECT_EQ(Us(value, "a aa aaaaa"), "a aa aaaaa");
  EXPECT_EQ(FormatDateTime(value, "dddd, d. mmmm", German()), "Dienstag, 5. M\xE4rz");
}

TEST(FormatDateTime, CaseDoesNotChooseTheElementButSplitsRuns) {
  const TDateTime value = At(13, 5, 0);
  EXPECT_EQ(Us(value, "DD MMMM YYYY"), "05 March 2024");
  EXPECT_EQ(Us(value, "dD"), "55");
  EXPECT_EQ(Us(value, "Yy"), "2424");
  EXPECT_EQ(Us(value, "e g x"), "e g x");  // letters without an element stand for themselves
}

TEST(FormatDateTime, LocalePatternsNestTwoLevelsDeep) {
  const TDateTime value = At(13, 5, 9);
  EXPECT_EQ(Us(value, "ddddd"), "3/5/2024");
  EXPECT_EQ(Us(value, "dddddd"), "Tuesday, March 5, 2024");
  EXPECT_EQ(Us(value, "ddddddd"), "Tuesday, March 5, 2024");
  EXPECT_EQ(Us(value, "t"), "1:05 PM");
  EXPECT_EQ(Us(value, "tt"), "1:05:09 PM");
  EXPECT_EQ(Us(value, "[ddddd] [t]"), "[3/5/2024] [1:05 PM]");

  LocaleInfo recursive = platform::UnitedStatesLocale();
  recursive.short_date_format = "d/m ddddd c t";  // inserts nothing more at the second level
  recursive.long_time_format = "hh:nn tt";
  EXPECT_EQ(FormatDateTime(value, "ddddd", recursive), "5/3   ");
  EXPECT_EQ(FormatDateTime(value, "c", recursive), "5/3    13:05 ");
  EXPECT_EQ(FormatDateTime(value, "d/m ddddd", recursive), "5/3 5/3   ");
}

TEST(FormatDateTime, EmptyPatternGivesEmptyText) {
  EXPECT_EQ(Us(At(13, 5, 9), ""), "");
}

TEST(FormatDateTime, ValuesBeforeTheEpochAndAtTheEndsOfTheCalendar) {
  EXPECT_EQ(Us(-1.25, "yyyy-mm-dd hh:nn"), "1899-12-29 06:00");
  EXPECT_EQ(Us(EncodeDate(1, 1, 1), "yyyy-mm-dd dddd"), "0001-01-01 Monday");
  EXPECT_EQ(Us(EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 0), "c"), "12/31/9999 11:59:59 PM");
  EXPECT_THROW(Us(EncodeDate(1, 1, 1) - 1.0, "c"), EConvertError);
  EXPECT_THROW(Us(EncodeDate(9999, 12, 31) + 1.0, "c"), EConvertError);
  EXPECT_THROW(Us(std::numeric_limits<double>::quiet_NaN(), "c"), EConvertError);
  EXPECT_THROW(Us(std::numeric_limits<double>::infinity(), "c"), EConvertError);
}

TEST(DateTimeToStr, IsPatternCInTheProcessLocale) {
  platform::SetEnvironmentVariable("LC_ALL", "C");
  if (platform::CurrentLocale() != platform::UnitedStatesLocale())
    GTEST_SKIP() << "the process read another locale before this test";
  EXPECT_EQ(DateTimeToStr(At(0, 0, 0)), "3/5/2024");
  EXPECT_EQ(DateTimeToStr(At(23, 59, 59)), "3/5/2024 11:59:59 PM");
}

}  // namespace
}  // namespace qv
