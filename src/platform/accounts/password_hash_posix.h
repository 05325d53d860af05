// Salted password hashes of the system's crypt library (libcrypt), for the machine's account database.
// Internal to the POSIX platform layer.
#pragma once

#include <string>

namespace qv::platform::posix {

// A new hash of the password with the library's preferred method and a fresh random salt. Raises
// EWin32Error when the library cannot make one.
std::string HashPassword(const std::string& password);

// True when the password matches the hash; false for a wrong password or a hash the library cannot
// read. The comparison takes the same time wherever the texts differ.
bool VerifyPassword(const std::string& password, const std::string& hash);

}  // namespace qv::platform::posix
