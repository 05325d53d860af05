// The request handler's account check for a mailbox owned by a system account whose name is longer
// than the 51-character buffers of the Windows lookup: the name arrives whole and the owner logs on.
#include <gtest/gtest.h>

#include "exchange/request_handler.h"
#include "platform/accounts/accounts.h"
#include "platform/process/environment.h"
#include "support/text_helpers.h"
#include "testing/process_objects_fixture.h"

namespace qv {
namespace {

constexpr const char* kLongName = "margaret.hamilton.of.the.apollo.guidance.computer.team.lead";  // 59

TEST(LongAccountName, AnOwnerWhoseNameIsLongerThanAWindowsNameBufferLogsOn) {
  ASSERT_EQ(platform::GetEnvironmentVariable("PAM_WRAPPER"), "1") << "run through with_test_users.sh";
  const testing::ProcessObjectsFixture objects;
  {
    platform::Sid owner;
    ASSERT_TRUE(platform::TextToSid("S-1-22-1-4005", &owner));
    std::string name, domain;
    ASSERT_TRUE(platform::LookupAccountSid(owner, &name, &domain));
    EXPECT_EQ(name, kLongName);
    EXPECT_GT(name.size(), 50u);

    TWCExchange handler(nullptr);
    handler.Password = "Margaret-Secret5";
    EXPECT_TRUE(handler.CheckNtAccount(HexText(owner)));
    ASSERT_NE(handler.LogonToken, nullptr);
    EXPECT_EQ(handler.LogonToken->UserName(), kLongName);
    EXPECT_EQ(handler.LogonToken->Domain(), platform::kUnixUserDomain);

    TWCExchange refused(nullptr);
    refused.Password = "Margaret-Secret4";
    EXPECT_FALSE(refused.CheckNtAccount(HexText(owner)));
    EXPECT_EQ(refused.LogonToken, nullptr);
  }
}

}  // namespace
}  // namespace qv
