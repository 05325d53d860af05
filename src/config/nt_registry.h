// TNTRegistry: a registry object that opens keys with only the rights that reading and writing values
// need, so that it also serves accounts without full access to a key.
#pragma once

#include <string>

#include "config/registry_object.h"

namespace qv {

class TNTRegistry : public TRegistry {
 public:
  // KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY: what reading, writing and creating keys need.
  static constexpr platform::REGSAM kValueAccess = 0x2001F;

  // Opens the key with kValueAccess and makes it current; with create a missing key is created. A
  // leading backslash makes the key absolute (from the root key); otherwise it is relative to the
  // current key, or to the root key when none is open. False, the current key unchanged, when the
  // key cannot be opened. A key that exists but may only be read (a write-protected registry, an
  // account with reading rights) is opened for reading when create is false, so that its values can
  // still be read.
  bool OpenRegKey(const std::string& key, bool create);
};

}  // namespace qv
