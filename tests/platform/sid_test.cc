#include <gtest/gtest.h>

#include "platform/accounts/accounts.h"
#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"

namespace qv::platform {
namespace {

Sid Bytes(std::initializer_list<int> values) {
  Sid sid;
  for (const int value : values) sid.push_back(static_cast<char>(value));
  return sid;
}

TEST(Sid, TextAndBinaryFormsMatchTheWindowsLayout) {
  Sid sid;
  ASSERT_TRUE(TextToSid("S-1-5-21-1-258-4294967295-1000", &sid));
  // clang-format off
  EXPECT_EQ(sid, Bytes({1, 5, 0, 0, 0, 0, 0, 5,           // revision, count, authority 5 (big-endian)
                        21, 0, 0, 0,                      // sub-authorities, little-endian
                        1, 0, 0, 0,
                        2, 1, 0, 0,
                        0xFF, 0xFF, 0xFF, 0xFF,
                        0xE8, 0x03, 0, 0}));
  // clang-format on
  EXPECT_TRUE(IsValidSid(sid));
  EXPECT_EQ(SidToText(sid), "S-1-5-21-1-258-4294967295-1000");

  uint64_t authority = 0;
  std::vector<uint32_t> parts;
  ASSERT_TRUE(GetSidParts(sid, &authority, &parts));
  EXPECT_EQ(authority, 5u);
  EXPECT_EQ(parts, (std::vector<uint32_t>{21, 1, 258, 4294967295u, 1000}));
  EXPECT_EQ(MakeSid(5, {21, 1, 258, 4294967295u, 1000}), sid);
}

TEST(Sid, RoundTripsOverTheWholeRange) {
  for (const char* text :
       {"S-1-5", "S-1-0-0", "S-1-22-1-4001", "S-1-5-32-544", "S-1-4294967295-7", "S-1-0x000100000000-1",
        "S-1-0xFFFFFFFFFFFF-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"}) {
    Sid sid;
    ASSERT_TRUE(TextToSid(text, &sid)) << text;
    EXPECT_EQ(SidToText(sid), text);
  }
  // Authorities of 2^32 and above are written in hexadecimal, whatever form they came in; a lower-case
  // "s" and leading zeros are read too.
  Sid sid;
  ASSERT_TRUE(TextToSid("S-1-4294967296-5", &sid));
  EXPECT_EQ(SidToText(sid), "S-1-0x000100000000-5");
  ASSERT_TRUE(TextToSid("s-1-0x5-007", &sid));
  EXPECT_EQ(SidToText(sid), "S-1-5-7");
}

TEST(Sid, MalformedTextIsRefused) {
  const char* malformed[] = {"",
                             "S",
                             "S-",
                             "S-1",
                             "S-1-",
                             "1-5-21",
                             "X-1-5",
                             "S-2-5-21",
                             "S-0-5",
                             "S-1--5",
                             "S-1-5-",
                             "S-1-5--1",
                             "S-1-5-x",
                             "S-1-5-21a",
                             "S-1-5- 21",
                             " S-1-5",
                             "S-1-5-21 ",
                             "S-1-+5",
                             "S-1-5--21",
                             "S-1-5-4294967296",
                             "S-1-5-99999999999999999999",
                             "S-1-281474976710656",
                             "S-1-0x1000000000000",
                             "S-1-0x",
                             "S-1-0xG",
                             "S-1-5-0x15",
                             "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"};
  for (const char* text : malformed) {
    Sid sid = "unchanged";
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(TextToSid(text, &sid)) << text;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID) << text;
    EXPECT_EQ(sid, "unchanged") << text;
  }
  Sid embedded_nul;
  EXPECT_FALSE(TextToSid(std::string("S-1-5-21\0-5", 11), &embedded_nul));
}

TEST(Sid, MalformedBytesAreNotASid) {
  const Sid good = MakeSid(5, {21, 7});
  ASSERT_TRUE(IsValidSid(good));
  Sid wrong_revision = good;
  wrong_revision[0] = 2;
  Sid too_many = MakeSid(5, std::vector<uint32_t>(15, 1));
  too_many[1] = 16;
  too_many += std::string(4, '\1');
  for (const Sid& bad : {Sid(), Bytes({1}), Bytes({1, 0, 0, 0, 0, 0, 0}), wrong_revision, good + "x",
                         good.substr(0, good.size() - 1), too_many}) {
    EXPECT_FALSE(IsValidSid(bad));
    EXPECT_EQ(SidToText(bad), "");
    uint64_t authority = 0;
    std::vector<uint32_t> parts;
    EXPECT_FALSE(GetSidParts(bad, &authority, &parts));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
    std::string name;
    std::string domain;
    EXPECT_FALSE(LookupAccountSid(bad, &name, &domain));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  }
  EXPECT_TRUE(IsValidSid(MakeSid(5, {})));
  EXPECT_THROW(MakeSid(5, std::vector<uint32_t>(16, 1)), ERangeError);
  EXPECT_THROW(MakeSid(uint64_t{1} << 48, {1}), ERangeError);
}

}  // namespace
}  // namespace qv::platform
