// HMAC-SHA-256 under a key of random bytes that is made with the object and never leaves it: the
// digest of a secret that may be kept in memory in its place, comparable only within this process.
// The system's cryptography computes it: OpenSSL's libcrypto on Linux, BCrypt on Windows.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace qv::platform {

class KeyedDigest {
 public:
  static constexpr size_t kSize = 32;
  using Value = std::array<unsigned char, kSize>;

  // A fresh key from the system's random source; raises EWin32Error when there is none.
  KeyedDigest();
  KeyedDigest(const KeyedDigest&) = delete;
  KeyedDigest& operator=(const KeyedDigest&) = delete;
  // Wipes the key.
  ~KeyedDigest();

  // The message's digest; raises EWin32Error when the library fails.
  Value Of(std::string_view message) const;

  // Whether two digests are equal, in a time that does not tell where they differ.
  static bool Equal(const Value& a, const Value& b);

 private:
  std::array<unsigned char, kSize> key_{};
};

}  // namespace qv::platform
