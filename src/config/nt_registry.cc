#include "config/nt_registry.h"

namespace qv {

bool TNTRegistry::OpenRegKey(const std::string& key, bool create) {
  if (OpenKeyWith(key, create, kValueAccess)) return true;
  return !create && OpenKeyWith(key, false, platform::KEY_READ);
}

}  // namespace qv
