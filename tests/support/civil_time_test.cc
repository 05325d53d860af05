#include "support/civil_time.h"

#include <gtest/gtest.h>

#include <chrono>

namespace qv {
namespace {

// The standard library's calendar is the reference: every 7th day from 1600 to 2500, and the days
// around the turns of centuries and leap days, in both directions.
TEST(CivilTime, AgreesWithTheStandardCalendarInBothDirections) {
  using namespace std::chrono;
  const int64_t first = sys_days{year{1600} / January / 1}.time_since_epoch().count();
  const int64_t last = sys_days{year{2500} / December / 31}.time_since_epoch().count();
  for (int64_t days = first; days <= last; days += 7) {
    const year_month_day date{sys_days{std::chrono::days{days}}};
    ASSERT_EQ(
        DaysFromCivil(static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                      static_cast<int>(static_cast<unsigned>(date.day()))),
        days);
    const platform::SystemTime civil = CivilFromSeconds(days * 86400 + 3723);
    ASSERT_EQ(civil.year, static_cast<int>(date.year()));
    ASSERT_EQ(civil.month, static_cast<int>(static_cast<unsigned>(date.month())));
    ASSERT_EQ(civil.day, static_cast<int>(static_cast<unsigned>(date.day())));
    ASSERT_EQ(civil.hour, 1);
    ASSERT_EQ(civil.minute, 2);
    ASSERT_EQ(civil.second, 3);
  }
}

TEST(CivilTime, LeapDaysTurnsOfCenturiesAndTimesBefore1970) {
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(2000, 2, 29) + 1, DaysFromCivil(2000, 3, 1));
  EXPECT_EQ(DaysFromCivil(1900, 2, 28) + 1, DaysFromCivil(1900, 3, 1));  // 1900 has no leap day
  EXPECT_EQ(DaysFromCivil(2024, 12, 31) - DaysFromCivil(2024, 1, 1), 365);

  // One second before 1970 is the last second of 1969, not a negative time of 1970.
  const platform::SystemTime before = CivilFromSeconds(-1);
  EXPECT_EQ(before.year, 1969);
  EXPECT_EQ(before.month, 12);
  EXPECT_EQ(before.day, 31);
  EXPECT_EQ(before.hour, 23);
  EXPECT_EQ(before.minute, 59);
  EXPECT_EQ(before.second, 59);
  const platform::SystemTime leap_day = CivilFromSeconds(DaysFromCivil(2024, 2, 29) * 86400 + 86399);
  EXPECT_EQ(leap_day.month, 2);
  EXPECT_EQ(leap_day.day, 29);
  EXPECT_EQ(leap_day.hour, 23);
}

}  // namespace
}  // namespace qv
