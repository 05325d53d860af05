#include "support/general_functions.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/locale/locale.h"
#include "platform/process/environment.h"
#include "support/date_format.h"

namespace qv {
namespace {

TEST(CreateUniqueName, ThirtyTwoHexDigitsOrPrefixed) {
  const std::string plain = CreateUniqueName("");
  ASSERT_EQ(plain.size(), 32u);
  EXPECT_EQ(plain.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  const std::string prefixed = CreateUniqueName("W");
  ASSERT_EQ(prefixed.size(), 34u);
  EXPECT_EQ(prefixed.substr(0, 2), "W_");
  EXPECT_EQ(prefixed.find_first_not_of("0123456789ABCDEF", 2), std::string::npos);
}

TEST(CreateUniqueName, NeverRepeats) {
  std::set<std::string> seen;
  for (int i = 0; i < 10000; ++i) EXPECT_TRUE(seen.insert(CreateUniqueName("")).second);
}

TEST(FormatTimeMs, LongTimeAPointAndThreeDigits) {
  // 5 ms past every second of a day: frac(frac(t) * 86400) * 1000 in floating point gives 4 for
  // about half of them.
  const TDateTime day = EncodeDate(2024, 3, 5);
  for (int second = 0; second < 86400; second += 7) {
    const TDateTime value = day + EncodeTime(second / 3600, second / 60 % 60, second % 60, 5);
    const std::string text = FormatTimeMs(value);
    ASSERT_EQ(text, FormatDateTime(value, platform::CurrentLocale().long_time_format) + ".005") << second;
  }
  const TDateTime late = day + EncodeTime(23, 0, 56, 0);
  EXPECT_EQ(FormatTimeMs(late + 999.0 / kMillisecondsPerDay).substr(FormatTimeMs(late).size() - 4), ".999");
  EXPECT_EQ(FormatTimeMs(late).substr(FormatTimeMs(late).size() - 4), ".000");
}

TEST(FormatTimeMs, TimeAndMillisecondsNameTheSameInstant) {
  // 0.4 ms before 12:00:01: the time text rounds up to the second, so the milliseconds must be 000.
  const TDateTime value = EncodeDate(2024, 3, 5) + (43201000.0 - 0.4) / kMillisecondsPerDay;
  EXPECT_EQ(FormatTimeMs(value), FormatDateTime(EncodeDate(2024, 3, 5) + EncodeTime(12, 0, 1, 0),
                                                platform::CurrentLocale().long_time_format) +
                                     ".000");
}

TEST(FormatTimeMs, UnitedStatesText) {
  platform::SetEnvironmentVariable("LC_ALL", "C");
  if (platform::CurrentLocale() != platform::UnitedStatesLocale())
    GTEST_SKIP() << "the process read another locale before this test";
  EXPECT_EQ(FormatTimeMs(EncodeDate(2024, 3, 5) + EncodeTime(13, 5, 9, 5)), "1:05:09 PM.005");
  EXPECT_EQ(FormatTimeMs(EncodeDate(2024, 3, 5) + EncodeTime(0, 0, 0, 42)), "12:00:00 AM.042");
}

TEST(ExtractFileBaseName, CutsDirectoryAndLastExtension) {
  EXPECT_EQ(ExtractFileBaseName("/usr/sbin/quorvane.tar.gz"), "quorvane.tar");
  EXPECT_EQ(ExtractFileBaseName("/usr/sbin/quorvane"), "quorvane");
  EXPECT_EQ(ExtractFileBaseName("quorvane.exe"), "quorvane");
  EXPECT_EQ(ExtractFileBaseName("/home/u/.profile"), "");
  EXPECT_EQ(ExtractFileBaseName("/a.b/name"), "name");
}

TEST(ExtractFilePath, KeepsTheTrailingDelimiter) {
  EXPECT_EQ(ExtractFilePath("/opt/qv/quorvane"), "/opt/qv/");
  EXPECT_EQ(ExtractFilePath("Qvan.trace"), "");
  EXPECT_EQ(ExtractFileName("/opt/qv/quorvane"), "quorvane");
}

TEST(MillisecondsOf, FractionOfADayOnly) {
  EXPECT_EQ(MillisecondsOf(1.5 / 86400.0), 1500);
  EXPECT_EQ(MillisecondsOf(0.0), 0);
  EXPECT_EQ(MillisecondsOf(1.0 + 2.0 / 86400.0), 2000);  // whole days are dropped
  EXPECT_EQ(MillisecondsOf(0.5 / 86400000.0), 0);        // a tie goes to the even neighbour
  EXPECT_EQ(MillisecondsOf(1.5 / 86400000.0), 2);
}

}  // namespace
}  // namespace qv
