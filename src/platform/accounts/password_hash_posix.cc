#include "platform/accounts/password_hash_posix.h"

#include <crypt.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/exception.h"

namespace qv::platform::posix {

namespace {

// crypt_data is large (tens of kilobytes): keep it off the stack, and wipe it afterwards since it
// holds the password.
struct CryptScratch {
  CryptScratch() : data(std::make_unique<crypt_data>()) { std::memset(data.get(), 0, sizeof(crypt_data)); }
  ~CryptScratch() { explicit_bzero(data.get(), sizeof(crypt_data)); }
  std::unique_ptr<crypt_data> data;
};

bool SameText(const char* a, const std::string& b) {
  const size_t length = std::strlen(a);
  if (length != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < length; ++i)
    difference |= static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]);
  return difference == 0;
}

}  // namespace

std::string HashPassword(const std::string& password) {
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  // No prefix: the library's preferred method; no random bytes given: the library takes them from the
  // system.
  if (crypt_gensalt_rn(nullptr, 0, nullptr, 0, setting, sizeof(setting)) == nullptr) {
    const int error = errno;
    throw EWin32Error(std::string("Cannot make a password salt: ") + std::strerror(error),
                      WinErrorFromErrno(error));
  }
  CryptScratch scratch;
  const char* hash = crypt_rn(password.c_str(), setting, scratch.data.get(), sizeof(crypt_data));
  if (hash == nullptr || hash[0] == '*') {
    const int error = errno;
    throw EWin32Error(std::string("Cannot hash the password: ") + std::strerror(error),
                      WinErrorFromErrno(error));
  }
  return hash;
}

bool VerifyPassword(const std::string& password, const std::string& hash) {
  if (hash.empty() || hash[0] == '*' || password.find('\0') != std::string::npos) return false;
  CryptScratch scratch;
  const char* computed = crypt_rn(password.c_str(), hash.c_str(), scratch.data.get(), sizeof(crypt_data));
  return computed != nullptr && computed[0] != '*' && SameText(computed, hash);
}

}  // namespace qv::platform::posix
