// Shared pieces of the configuration tests: a fresh state directory (so a fresh hive) per test, and
// direct access to the values under HKEY_LOCAL_MACHINE.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors/win_error.h"
#include "platform/files/file_attributes.h"
#include "platform/registry/registry.h"
#include "platform/text/text_compare.h"
#include "testing/machine_registry.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"

namespace qv::testing {

struct StoredValue {
  uint32_t type = 0;
  std::string data;
  bool operator==(const StoredValue&) const = default;
};

class RegistryTest : public ::testing::Test {
 protected:
  static void Set(const std::string& key_path, const std::string& name, uint32_t type,
                  const std::string& data) {
    SetMachineValue(key_path, name, type, data);
  }

  static std::optional<StoredValue> Get(const std::string& key_path, const std::string& name) {
    platform::RegKey key;
    if (platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, key_path, 0, platform::KEY_READ,
                               key.Receive()) != platform::ERROR_SUCCESS)
      return std::nullopt;
    StoredValue value;
    if (platform::RegQueryValueEx(key.Get(), name, &value.type, &value.data) != platform::ERROR_SUCCESS)
      return std::nullopt;
    return value;
  }

  static bool KeyExists(const std::string& key_path) {
    platform::RegKey key;
    return platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, key_path, 0, platform::KEY_READ,
                                  key.Receive()) == platform::ERROR_SUCCESS;
  }

  // The value names of a key, in their order.
  static std::vector<std::string> ValueNames(const std::string& key_path) {
    std::vector<std::string> names;
    platform::RegKey key;
    if (platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, key_path, 0, platform::KEY_READ,
                               key.Receive()) != platform::ERROR_SUCCESS)
      return names;
    std::string name;
    for (uint32_t index = 0;
         platform::RegEnumValue(key.Get(), index, &name, nullptr, nullptr) == platform::ERROR_SUCCESS;
         ++index)
      names.push_back(name);
    return names;
  }

  // The value names a key was given, in the order the registry lists them: the order they were set,
  // except under Wine, which lists them sorted by name (ignoring case).
  static std::vector<std::string> InListingOrder(std::vector<std::string> names) {
    return qv::testing::InRegistryListingOrder(std::move(names));
  }

  // Makes the hive file write-protected (the hive is created first when missing).
  void ProtectHive() {
    platform::RegKey key;
    platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, "", 0, platform::KEY_READ, key.Receive());
    ASSERT_TRUE(platform::SetFileAttributes(state_.File("registry.db"), platform::FILE_ATTRIBUTE_READONLY));
  }

  TestStateDir state_;
};

}  // namespace qv::testing
