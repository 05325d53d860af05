// The keyed digest: the same message gives the same digest under one key, and anything else another.
// Its key is random, so the figures themselves cannot be compared with published vectors; the
// comparison's result is what the cache of logons relies on.
#include "platform/accounts/keyed_digest.h"

#include <gtest/gtest.h>

#include <string>

namespace qv::platform {
namespace {

TEST(KeyedDigest, OneKeyGivesOneDigestPerMessageAndEveryKeyItsOwn) {
  const KeyedDigest digest;
  const KeyedDigest::Value secret = digest.Of("secret");
  EXPECT_TRUE(KeyedDigest::Equal(secret, digest.Of("secret")));
  for (const std::string& other : {std::string("Secret"), std::string("secret "), std::string(),
                                   std::string("secret\0", 7), std::string(100000, 's')})
    EXPECT_FALSE(KeyedDigest::Equal(secret, digest.Of(other))) << other.size();
  // Another process's key (another object's) gives another digest of the same password.
  const KeyedDigest another;
  EXPECT_FALSE(KeyedDigest::Equal(secret, another.Of("secret")));
  KeyedDigest::Value changed = secret;
  changed.back() ^= 1;
  EXPECT_FALSE(KeyedDigest::Equal(secret, changed));
}

}  // namespace
}  // namespace qv::platform
