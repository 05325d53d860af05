// The locale pieces from POSIX locales that only Linux can check (the C locale's other names, the
// environment's choice per category, both charmaps of a locale made with localedef) and the strftime
// patterns they come in.
#include "platform/locale/locale.h"

#include <gtest/gtest.h>

#include "platform/locale/strftime_pattern.h"
#include "platform/process/environment.h"
#include "testing/system_locale.h"

// glibc's newlocale keeps the search path it builds from LOCPATH (which only the locale tests set) and
// never frees it; LeakSanitizer reads this list of leaks to ignore.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:__argz_add_sep\n";
}

namespace qv::platform {
namespace {

using qv::testing::SystemLocale;

// Leaves only the variables a test sets, so that the developer's own locale plays no part.
void ClearLocaleEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LC_CTYPE", "LANG", "LANGUAGE"})
    SetEnvironmentVariable(variable, std::nullopt);
}

TEST(Locale, EveryNameOfTheCLocaleAndTheEnvironmentsChoiceOfIt) {
  const LocaleInfo us = UnitedStatesLocale();
  for (const char* name : {"POSIX", "C.UTF-8", ""}) {
    LocaleInfo info;
    info.decimal_separator = ',';
    EXPECT_TRUE(ReadLocaleInfo(name, &info)) << name;
    EXPECT_EQ(info, us) << name;
  }
  ClearLocaleEnvironment();
  SetEnvironmentVariable("LANG", "C");
  EXPECT_EQ(CurrentLocale(), us);
}

TEST(Locale, AMissingLocaleInTheEnvironmentCountsAsTheCLocale) {
  ClearLocaleEnvironment();
  SetEnvironmentVariable("LC_ALL", "xx_YY.UTF-8");
  EXPECT_EQ(CurrentLocale(), UnitedStatesLocale());
}

TEST(Locale, GermanPiecesInWindows1252FromEitherCharmap) {
  qv::testing::TestStateDir dir;
  LocaleInfo info;
  ASSERT_TRUE(ReadLocaleInfo(SystemLocale(dir, "de_DE", "UTF-8"), &info));
  EXPECT_EQ(info.short_date_format, "dd/MM/yyyy");
  EXPECT_EQ(info.short_time_format, "HH:nn");
  EXPECT_EQ(info.short_month_names[2], "M\xE4r");
  EXPECT_EQ(info.long_month_names[11], "Dezember");
  EXPECT_EQ(info.short_day_names[6], "Sa");
  EXPECT_EQ(info.time_am_string, "");
  EXPECT_EQ(info.time_pm_string, "");
  LocaleInfo latin1;
  ASSERT_TRUE(ReadLocaleInfo(SystemLocale(dir, "de_DE", "ISO-8859-1"), &latin1));
  EXPECT_EQ(latin1, info);
}

TEST(Locale, UnitedStatesLocaleKeepsItsTwelveHourClock) {
  qv::testing::TestStateDir dir;
  LocaleInfo info;
  ASSERT_TRUE(ReadLocaleInfo(SystemLocale(dir, "en_US", "UTF-8"), &info));
  EXPECT_EQ(info.long_date_format, "dddd, MMMM d, yyyy");
  EXPECT_EQ(info.short_time_format, "hh:nn ampm");
}

TEST(Locale, CurrentLocaleTakesEachCategoryFromTheEnvironment) {
  qv::testing::TestStateDir dir;
  const std::string name = SystemLocale(dir, "de_DE", "UTF-8");
  ClearLocaleEnvironment();
  SetEnvironmentVariable("LANG", name);
  SetEnvironmentVariable("LC_NUMERIC", "C");
  const LocaleInfo& info = CurrentLocale();
  EXPECT_EQ(info.short_date_format, "dd/MM/yyyy");
  EXPECT_EQ(info.long_day_names[2], "Dienstag");
  EXPECT_EQ(info.decimal_separator, '.');
  EXPECT_EQ(&CurrentLocale(), &info);  // read once
}

StrftimeFormats GermanFormats() {
  StrftimeFormats formats;
  formats.date = "%d.%m.%Y";
  formats.time = "%T";
  return formats;
}

TEST(StrftimePattern, ConversionsBecomeElements) {
  const StrftimeFormats formats = GermanFormats();
  EXPECT_EQ(PatternFromStrftime("%e.%-m.%y", StrftimeKind::kDate, formats), "d/M/yy");
  EXPECT_EQ(PatternFromStrftime("%A, %-d. %B %Y", StrftimeKind::kDate, formats), "dddd, d/ MMMM yyyy");
  EXPECT_EQ(PatternFromStrftime("%a %b %_d %G", StrftimeKind::kDate, formats), "ddd MMM d yyyy");
  EXPECT_EQ(PatternFromStrftime("%x", StrftimeKind::kDate, formats), "dd/MM/yyyy");
  EXPECT_EQ(PatternFromStrftime("%D", StrftimeKind::kDate, formats), "MM'/'dd'/'yy");
  EXPECT_EQ(PatternFromStrftime("%k:%M", StrftimeKind::kTime, formats), "H:nn");
  EXPECT_EQ(PatternFromStrftime("%r", StrftimeKind::kTime, formats), "hh:nn:ss ampm");  // the C default
  EXPECT_EQ(PatternFromStrftime("%l.%M %P", StrftimeKind::kTime, formats), "h.nn ampm");
}

TEST(StrftimePattern, LiteralsThatWouldBeElementsAreQuoted) {
  const StrftimeFormats formats = GermanFormats();
  EXPECT_EQ(PatternFromStrftime("%H Uhr %M", StrftimeKind::kTime, formats), "HH 'Uhr' nn");
  EXPECT_EQ(PatternFromStrftime("%Hh%M", StrftimeKind::kTime, formats), "HH'h'nn");
  EXPECT_EQ(PatternFromStrftime("%H/%M", StrftimeKind::kTime, formats), "HH'/'nn");
  EXPECT_EQ(PatternFromStrftime("%d:%m", StrftimeKind::kDate, formats), "dd':'MM");
  EXPECT_EQ(PatternFromStrftime("%d'%m\"%y", StrftimeKind::kDate, formats), "dd\"'\"MM'\"'yy");
  EXPECT_EQ(PatternFromStrftime("100%% %d", StrftimeKind::kDate, formats), "100% dd");
}

TEST(StrftimePattern, ConversionsWithoutAnElementAreLeftOut) {
  const StrftimeFormats formats = GermanFormats();
  EXPECT_EQ(PatternFromStrftime("%H:%M:%S %Z", StrftimeKind::kTime, formats), "HH:nn:ss");
  EXPECT_EQ(PatternFromStrftime("%j %U %d", StrftimeKind::kDate, formats), "dd");
  EXPECT_EQ(PatternFromStrftime("%d %", StrftimeKind::kDate, formats), "dd %");
  StrftimeFormats looping;
  looping.date = "%x";  // a locale whose date format names itself ends, empty
  EXPECT_EQ(PatternFromStrftime("%x", StrftimeKind::kDate, looping), "");
}

TEST(StrftimePattern, PatternsAndSeparatorsOfALocale) {
  StrftimeFormats finnish;
  finnish.date = "%-d.%-m.%Y";
  finnish.time = "%H.%M.%S";
  LocaleInfo info = UnitedStatesLocale();
  PatternsFromStrftime(finnish, &info);
  EXPECT_EQ(info.date_separator, '.');
  EXPECT_EQ(info.time_separator, '.');
  EXPECT_EQ(info.short_date_format, "d/M/yyyy");
  EXPECT_EQ(info.long_date_format, "dddd, d. MMMM yyyy");
  EXPECT_EQ(info.long_time_format, "HH:nn:ss");
  EXPECT_EQ(info.short_time_format, "HH:nn");

  StrftimeFormats iso;
  iso.date = "%Y-%m-%d";
  iso.time = "%I:%M:%S %p";
  info = UnitedStatesLocale();
  PatternsFromStrftime(iso, &info);
  EXPECT_EQ(info.date_separator, '-');
  EXPECT_EQ(info.short_date_format, "yyyy/MM/dd");
  EXPECT_EQ(info.long_date_format, "dddd, yyyy MMMM d");
  EXPECT_EQ(info.short_time_format, "hh:nn ampm");

  StrftimeFormats british;
  british.date = "%d/%m/%y";
  info = UnitedStatesLocale();
  PatternsFromStrftime(british, &info);
  EXPECT_EQ(info.long_date_format, "dddd, d MMMM yyyy");
  EXPECT_EQ(info.long_time_format, UnitedStatesLocale().long_time_format);  // no time format: kept
}

}  // namespace
}  // namespace qv::platform
