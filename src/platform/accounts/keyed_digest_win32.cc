// HMAC-SHA-256 with the system's BCrypt.
#include <algorithm>

#include "platform/accounts/keyed_digest.h"
#include "platform/errors/exception.h"

#include "platform/os/unique_handle_win32.h"
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

struct AlgorithmProviderCloser {
  void operator()(BCRYPT_ALG_HANDLE handle) const { ::BCryptCloseAlgorithmProvider(handle, 0); }
};
using AlgorithmProvider = win32::UniqueHandleOf<AlgorithmProviderCloser>;

struct HashObjectCloser {
  void operator()(BCRYPT_HASH_HANDLE handle) const { ::BCryptDestroyHash(handle); }
};
using HashObject = win32::UniqueHandleOf<HashObjectCloser>;

AlgorithmProvider OpenHmacSha256() {
  AlgorithmProvider provider;
  if (!Succeeded(::BCryptOpenAlgorithmProvider(provider.receive(), BCRYPT_SHA256_ALGORITHM, nullptr,
                                               BCRYPT_ALG_HANDLE_HMAC_FLAG)))
    RaiseCryptographyError("BCrypt offers no HMAC-SHA-256");
  return provider;
}

HashObject CreateHash(BCRYPT_ALG_HANDLE algorithm, const unsigned char* key, size_t key_size) {
  HashObject hash;
  if (!Succeeded(::BCryptCreateHash(algorithm, hash.receive(), nullptr, 0, const_cast<PUCHAR>(key),
                                    static_cast<ULONG>(key_size), 0)))
    RaiseCryptographyError("BCryptCreateHash failed");
  return hash;
}

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
  static const AlgorithmProvider provider = OpenHmacSha256();
  const HashObject hash = CreateHash(provider.get(), key_.data(), key_.size());
  // BCryptHashData takes at most 2^32 - 1 bytes at a time.
  while (!message.empty()) {
    const ULONG part = static_cast<ULONG>(std::min<size_t>(message.size(), 0x7FFFFFFF));
    if (!Succeeded(::BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                                    part, 0)))
      RaiseCryptographyError("BCryptHashData failed");
    message.remove_prefix(part);
  }
  Value digest{};
  if (!Succeeded(::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0)))
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
