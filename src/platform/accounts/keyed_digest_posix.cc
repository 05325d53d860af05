// HMAC-SHA-256 with OpenSSL's libcrypto.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include "platform/accounts/keyed_digest.h"
#include "platform/errors/exception.h"
#include "platform/errors/win_error.h"

namespace qv::platform {

KeyedDigest::KeyedDigest() {
  if (RAND_bytes(key_.data(), static_cast<int>(key_.size())) != 1)
    throw EWin32Error("The system's random source gave no key", ERROR_GEN_FAILURE);
}

KeyedDigest::~KeyedDigest() {
  OPENSSL_cleanse(key_.data(), key_.size());
}

KeyedDigest::Value KeyedDigest::Of(std::string_view message) const {
  Value digest{};
  unsigned int length = 0;
  if (HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
           reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest.data(),
           &length) == nullptr ||
      length != digest.size())
    throw EWin32Error("HMAC-SHA-256 failed", ERROR_GEN_FAILURE);
  return digest;
}

bool KeyedDigest::Equal(const Value& a, const Value& b) {
  return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace qv::platform
