#include "net/listen_addresses.h"

#include <gtest/gtest.h>

namespace qv::net {
namespace {

using Addresses = std::vector<std::string>;

TEST(SplitListenAddresses, TakesCommasAndBlanksAndDropsRepeats) {
  EXPECT_EQ(SplitListenAddresses(""), Addresses{});
  EXPECT_EQ(SplitListenAddresses(" ,\t, "), Addresses{});
  EXPECT_EQ(SplitListenAddresses("127.0.0.1"), Addresses{"127.0.0.1"});
  EXPECT_EQ(SplitListenAddresses("127.0.0.1, ::1"), (Addresses{"127.0.0.1", "::1"}));
  EXPECT_EQ(SplitListenAddresses("  10.0.0.5 ::1,,192.168.1.2\t::1 "),
            (Addresses{"10.0.0.5", "::1", "192.168.1.2"}));
}

}  // namespace
}  // namespace qv::net
