// Keys and values of the registry, set and read as the tests need them: the data of REG_DWORD and
// REG_SZ values, keys made below any root, and values under HKEY_LOCAL_MACHINE (settings written
// before a program starts, entries checked after it ran).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry/registry.h"

namespace qv::testing {

// A REG_DWORD value's data: the number's four bytes, least significant first.
inline std::string DwordBytes(uint32_t value) {
  return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                     static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
}

// A REG_SZ text as stored: the text and its terminating NUL.
inline std::string Sz(const std::string& text) {
  return text + '\0';
}

// A value under HKEY_LOCAL_MACHINE: REG_SZ text without its NUL, REG_DWORD in decimal; nothing when
// the key or value is missing.
inline std::optional<std::string> MachineValue(const std::string& key_path, const std::string& name) {
  platform::RegKey key;
  if (platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, key_path, 0, platform::KEY_READ, key.Receive()) !=
      platform::ERROR_SUCCESS)
    return std::nullopt;
  uint32_t type = 0;
  std::string data;
  if (platform::RegQueryValueEx(key.Get(), name, &type, &data) != platform::ERROR_SUCCESS)
    return std::nullopt;
  if (type == platform::REG_DWORD && data.size() == 4) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(data[static_cast<size_t>(i)]);
    return std::to_string(value);
  }
  if (!data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

// Deletes a key with everything below it (RegDeleteKey takes only keys without sub-keys).
inline void DeleteKeyTree(platform::HKEY parent, const std::string& path) {
  platform::RegKey key;
  if (platform::RegOpenKeyEx(parent, path, 0, platform::KEY_ALL_ACCESS, key.Receive()) !=
      platform::ERROR_SUCCESS)
    return;
  std::string name;
  while (platform::RegEnumKeyEx(key.Get(), 0, &name) == platform::ERROR_SUCCESS)
    DeleteKeyTree(key.Get(), name);
  key.Close();
  platform::RegDeleteKey(parent, path);
}

inline bool MachineKeyExists(const std::string& key_path) {
  platform::RegKey key;
  return platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, key_path, 0, platform::KEY_READ,
                                key.Receive()) == platform::ERROR_SUCCESS;
}

// A key created (or opened) below the base with the access asked for.
inline platform::RegKey CreatedKey(platform::HKEY base, const std::string& path,
                                   platform::REGSAM access = platform::KEY_ALL_ACCESS) {
  platform::RegKey key;
  EXPECT_EQ(
      platform::RegCreateKeyEx(base, path, platform::REG_OPTION_NON_VOLATILE, access, key.Receive(), nullptr),
      platform::ERROR_SUCCESS)
      << path;
  return key;
}

inline void SetMachineValue(const std::string& key_path, const std::string& name, uint32_t type,
                            const std::string& data) {
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKeyEx(platform::HKEY_LOCAL_MACHINE, key_path, 0, platform::KEY_ALL_ACCESS,
                                     key.Receive(), nullptr),
            platform::ERROR_SUCCESS);
  ASSERT_EQ(platform::RegSetValueEx(key.Get(), name, type, data), platform::ERROR_SUCCESS);
}

inline void SetMachineText(const std::string& key_path, const std::string& name, const std::string& text) {
  SetMachineValue(key_path, name, platform::REG_SZ, Sz(text));
}

inline void SetMachineDword(const std::string& key_path, const std::string& name, uint32_t value) {
  SetMachineValue(key_path, name, platform::REG_DWORD, DwordBytes(value));
}

}  // namespace qv::testing
