#include "support/convert.h"

#include <gtest/gtest.h>

#include "platform/errors/exception.h"
#include "support/date_time.h"

namespace qv {
namespace {

TEST(StrToInt, AcceptsLeadingBlanksAndSignsOnly) {
  EXPECT_EQ(TryStrToInt("42"), 42);
  EXPECT_EQ(TryStrToInt("  -7"), -7);
  EXPECT_EQ(TryStrToInt("+3"), 3);
  EXPECT_EQ(TryStrToInt("2147483647"), INT32_MAX);
  EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
  EXPECT_FALSE(TryStrToInt(""));
  EXPECT_FALSE(TryStrToInt("-"));
  EXPECT_FALSE(TryStrToInt("12 "));
  EXPECT_FALSE(TryStrToInt("1a"));
  EXPECT_FALSE(TryStrToInt("2147483648"));
  EXPECT_FALSE(TryStrToInt("99999999999999999999"));
  EXPECT_EQ(StrToIntDef("abc", 1000), 1000);
}

TEST(StrToInt, RaisesTheConversionError) {
  try {
    StrToInt("23 (beta)");
    FAIL() << "no error raised";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(), "'23 (beta)' is not a valid integer value");
    EXPECT_STREQ(error.ClassName(), "EConvertError");
  }
}

TEST(StrToFloat, UsesTheGivenDecimalSeparator) {
  EXPECT_DOUBLE_EQ(*TryStrToFloat("1.21", '.'), 1.21);
  EXPECT_DOUBLE_EQ(*TryStrToFloat("5,5", ','), 5.5);
  EXPECT_FALSE(TryStrToFloat("1.21", ','));
  EXPECT_FALSE(TryStrToFloat("1.2.1", '.'));
  EXPECT_DOUBLE_EQ(*TryStrToFloat(" 5 ", '.'), 5.0);
  EXPECT_DOUBLE_EQ(*TryStrToFloat("1e3", '.'), 1000.0);
  EXPECT_FALSE(TryStrToFloat("", '.'));
  EXPECT_FALSE(TryStrToFloat(".", '.'));
  EXPECT_THROW(StrToFloat("x", '.'), EConvertError);
}

TEST(FloatToStr, ShortestTextWithTheSeparator) {
  EXPECT_EQ(FloatToStr(1.2, '.'), "1.2");
  EXPECT_EQ(FloatToStr(5.5, ','), "5,5");
  EXPECT_EQ(FloatToStr(20, '.'), "20");
}

TEST(DateTime, EncodesAndDecodesTheAutomationDate) {
  EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDate(2000, 1, 1), 36526.0);
  const DateTimeParts parts = DecodeDateTime(EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 7));
  EXPECT_EQ(parts.year, 2024);
  EXPECT_EQ(parts.month, 2);
  EXPECT_EQ(parts.day, 29);
  EXPECT_EQ(parts.hour, 13);
  EXPECT_EQ(parts.minute, 5);
  EXPECT_EQ(parts.second, 9);
  EXPECT_EQ(parts.milliseconds, 7);
  EXPECT_EQ(parts.day_of_week, 5);  // a Thursday
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
}

TEST(DateTime, RoundTripsEveryDayOfFourCenturies) {
  for (int day = -100000; day < 100000; day += 7) {
    const DateTimeParts parts = DecodeDateTime(day);
    EXPECT_DOUBLE_EQ(EncodeDate(parts.year, parts.month, parts.day), day);
  }
}

}  // namespace
}  // namespace qv
