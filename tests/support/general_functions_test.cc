#include "support/general_functions.h"

#include <gtest/gtest.h>

#include <set>

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
  EXPECT_EQ(MillisecondsOf(0.5 / 86400000.0), 0);         // a tie goes to the even neighbour
  EXPECT_EQ(MillisecondsOf(1.5 / 86400000.0), 2);
}

}  // namespace
}  // namespace qv
