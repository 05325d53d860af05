// HMAC-SHA-256 with the system's BCrypt.
#include <algorithm>

#include "platform/accounts/keyed_digest.h"
#include "platform/errors/exception.h"

#include "platform/os/windows_api_win32.h"

#include <bcrypt.h>

namespace qv::platform {

namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

[[noreturn]] void RaiseCryptographyError(const char* what) {
  throw EWin32Error(what, ERROR_GEN_FAILURE);
}

class AlgorithmProvider {
 public:
  AlgorithmProvider() {
    if (!Succeeded(::BCryptOpenAlgorithmProvider(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                 BCRYPT_ALG_HANDLE_HMAC_FLAG)))
      RaiseCryptographyError("BCrypt offers no HMAC-SHA-256");
  }
  AlgorithmProvider(const AlgorithmProvider&) = delete;
  AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;
  ~AlgorithmProvider() { ::BCryptCloseAlgorithmProvider(handle_, 0); }
  BCRYPT_ALG_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class HashObject {
 public:
  HashObject(BCRYPT_ALG_HANDLE algorithm, const unsigned char* key, size_t key_size) {
    if (!Succeeded(::BCryptCreateHash(algorithm, &handle_, nullptr, 0, const_cast<PUCHAR>(key),
                                      static_cast<ULONG>(key_size), 0)))
      RaiseCryptographyError("BCryptCreateHash failed");
  }
  HashObject(const HashObject&) = delete;
  HashObject& operator=(const HashObject&) = delete;
  ~HashObject() { ::BCryptDestroyHash(handle_); }
  BCRYPT_HASH_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_HASH_HANDLE handle_ = nullptr;
};

}  // namespace

KeyedDigest::KeyedDigest() {
  if (!Succeeded(::BCryptGenRandom(nullptr, key_.data(), static_cast<ULONG>(key_.size()),
                                   BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    RaiseCryptographyError("The system's random source gave no key");
}

KeyedDigest::~KeyedDigest() {
  ::SecureZeroMemory(key_.data(), key_.size());
}

KeyedDigest::Value KeyedDigest::Of(std::string_view message) const {
  // The provider is made once; its handle may be used by several threads at once.
  static const AlgorithmProvider provider;
  const HashObject hash(provider.Get(), key_.data(), key_.size());
  // BCryptHashData takes at most 2^32 - 1 bytes at a time.
  while (!message.empty()) {
    const ULONG part = static_cast<ULONG>(std::min<size_t>(message.size(), 0x7FFFFFFF));
    if (!Succeeded(::BCryptHashData(hash.Get(), reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                                    part, 0)))
      RaiseCryptographyError("BCryptHashData failed");
    message.remove_prefix(part);
  }
  Value digest{};
  if (!Succeeded(::BCryptFinishHash(hash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0)))
    RaiseCryptographyError("BCryptFinishHash failed");
  return digest;
}

bool KeyedDigest::Equal(const Value& a, const Value& b) {
  // Every byte is looked at, whatever the first difference.
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace qv::platform
