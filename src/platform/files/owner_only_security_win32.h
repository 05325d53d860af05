// Security descriptors that give a file to the user of this process alone: what "readable and
// writable by its owner alone" means on Windows. Internal to the Win32 layer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/os/windows_api_win32.h"

namespace qv::platform::win32 {

// Security attributes whose descriptor's protected DACL allows everything to the process's user
// and nothing to anybody else.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity();
  // Null when the descriptor could not be made; the file then gets the folder's inherited rights.
  SECURITY_ATTRIBUTES* Attributes() { return valid_ ? &attributes_ : nullptr; }

 private:
  std::vector<uint8_t> user_sid_;
  std::vector<uint8_t> acl_;
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
  bool valid_ = false;
};

// True when every entry of the file's DACL that allows something names the file's owner or the
// process's user. False with the last error set when the file cannot be examined.
bool HasOwnerOnlyAccess(const std::wstring& path, bool* owner_only);

}  // namespace qv::platform::win32
