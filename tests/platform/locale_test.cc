// The locale pieces from the system's locale data, by POSIX locale names: the patterns come in the
// pattern language, the texts in Windows-1252, and the C locale and locales the system does not have
// give the United States pieces.
#include "platform/locale/locale.h"

#include <gtest/gtest.h>

#include "platform/process/host_system.h"
#include "testing/platform_checks.h"
#include "testing/system_locale.h"

namespace qv::platform {
namespace {

using qv::testing::SystemLocale;

TEST(Locale, TheCLocaleAndMissingLocalesGiveTheUnitedStatesPieces) {
  const LocaleInfo us = UnitedStatesLocale();
  EXPECT_EQ(us.short_date_format, "M/d/yyyy");
  EXPECT_EQ(us.long_time_format, "h:mm:ss AMPM");
  EXPECT_EQ(us.time_am_string, "AM");
  LocaleInfo info;
  info.decimal_separator = ',';
  EXPECT_TRUE(ReadLocaleInfo("C", &info));
  EXPECT_EQ(info, us);
  info.decimal_separator = ',';
  EXPECT_FALSE(ReadLocaleInfo("xx_YY.UTF-8", &info));
  EXPECT_EQ(info, us);
}

TEST(Locale, GermanPiecesFromTheSystem) {
  qv::testing::TestStateDir dir;
  LocaleInfo info;
  ASSERT_TRUE(ReadLocaleInfo(SystemLocale(dir, "de_DE", "UTF-8"), &info));
  if (!qv::testing::SkipUnderWine("the German short date (Wine's is d.M.yyyy, Windows' dd.MM.yyyy)")) {
    EXPECT_EQ(info.short_date_format, "dd/MM/yyyy");
  }
  EXPECT_EQ(info.date_separator, '.');
  EXPECT_EQ(info.long_date_format, "dddd, d. MMMM yyyy");
  EXPECT_EQ(info.long_time_format, "HH:nn:ss");
  EXPECT_EQ(info.time_separator, ':');
  EXPECT_EQ(info.decimal_separator, ',');
  EXPECT_EQ(info.long_month_names[2], "M\xE4rz");
  EXPECT_EQ(info.long_day_names[0], "Sonntag");
  EXPECT_EQ(info.long_day_names[1], "Montag");
}

TEST(Locale, TheUnitedStatesPiecesFromTheSystem) {
  qv::testing::TestStateDir dir;
  LocaleInfo info;
  ASSERT_TRUE(ReadLocaleInfo(SystemLocale(dir, "en_US", "UTF-8"), &info));
  // The systems' locale data differ in the patterns: Windows writes no leading zeros and one
  // upper-case marker, glibc two digits and the marker of the time.
  const bool windows = RunsOnWindows();
  EXPECT_EQ(info.short_date_format, windows ? "M/d/yyyy" : "MM/dd/yyyy");
  EXPECT_EQ(info.long_time_format, windows ? "h:nn:ss AMPM" : "hh:nn:ss ampm");
  EXPECT_EQ(info.time_am_string, "AM");
  EXPECT_EQ(info.time_pm_string, "PM");
  EXPECT_EQ(info.long_month_names, UnitedStatesLocale().long_month_names);
  EXPECT_EQ(info.short_day_names, UnitedStatesLocale().short_day_names);
  EXPECT_EQ(info.decimal_separator, '.');
}

}  // namespace
}  // namespace qv::platform
