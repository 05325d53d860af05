// The locale pieces from the system's locale data: names in the POSIX form are taken too, Windows
// patterns come in the pattern language.
#include <gtest/gtest.h>

#include "platform/locale.h"
#include "testing/platform_checks.h"

namespace qv::platform {
namespace {

TEST(Locale, GermanPiecesFromTheSystem) {
  LocaleInfo info;
  ASSERT_TRUE(ReadLocaleInfo("de_DE.UTF-8", &info));
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

TEST(Locale, TheCLocaleAndMissingLocalesGiveTheUnitedStatesPieces) {
  LocaleInfo info;
  EXPECT_TRUE(ReadLocaleInfo("C", &info));
  EXPECT_EQ(info, UnitedStatesLocale());
  EXPECT_FALSE(ReadLocaleInfo("xx_NOWHERE", &info));
  EXPECT_EQ(info, UnitedStatesLocale());
}

TEST(Locale, TheUnitedStatesPiecesFromTheSystem) {
  LocaleInfo info;
  ASSERT_TRUE(ReadLocaleInfo("en_US", &info));
  EXPECT_EQ(info.short_date_format, "M/d/yyyy");
  EXPECT_EQ(info.long_time_format, "h:nn:ss AMPM");
  EXPECT_EQ(info.time_am_string, "AM");
  EXPECT_EQ(info.long_month_names[0], "January");
  EXPECT_EQ(info.short_day_names[6], "Sat");
}

}  // namespace
}  // namespace qv::platform
