// The entries of the service control manager in the registry: one key per service under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services, with the values Windows keeps there (Type,
// Start, ErrorControl, ImagePath, DisplayName, ObjectName, and DeleteFlag for an entry marked for
// deletion). Internal to the POSIX service control manager.
//
// Type, Start and ErrorControl are REG_DWORD; ImagePath is REG_EXPAND_SZ (its %VAR% expanded where it
// is used); DisplayName and ObjectName are REG_SZ, ObjectName "LocalSystem" when no account is named.
// No password is ever stored. Creating the key is one registry transaction, so of two installers of
// one name only one wins, and the other leaves the winner's values as they are.
#pragma once

#include <cstdint>
#include <string>

namespace qv::platform::posix {

inline constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";

struct ServiceEntry {
  std::string Name;  // as asked for
  std::string DisplayName;
  std::string ImagePath;
  std::string ObjectName;
  uint32_t Type = 0;  // 0 when the key has no Type value (a key that only holds values of others)
  uint32_t Start = 0;
  uint32_t ErrorControl = 0;
  bool MarkedForDelete = false;
};

// The entry of a name; a Windows error code: ERROR_SERVICE_DOES_NOT_EXIST when there is no key, the
// registry's code when it cannot be read.
uint32_t ReadServiceEntry(const std::string& name, ServiceEntry* entry);

// Creates the key and its values; ERROR_SERVICE_EXISTS (nothing changed) when the key exists.
uint32_t CreateServiceEntry(const ServiceEntry& entry);

// Deletes the key with everything below it.
uint32_t DeleteServiceEntry(const std::string& name);

// Sets DeleteFlag.
uint32_t MarkServiceEntryForDelete(const std::string& name);

}  // namespace qv::platform::posix
