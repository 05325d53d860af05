// TRegistry: a registry object with one root key and at most one open ("current") key, whose typed
// reads and writes work on the values of the current key. The base of the settings readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors/exception.h"
#include "platform/registry/registry.h"

namespace qv {

// A typed read or write that failed; the message names the value:
// "Invalid data type for '%s'", "Failed to get data for '%s'", "Failed to set data for '%s'".
QV_EXCEPTION_CLASS(ERegistryException, Exception);

// The kinds of value data the typed reads tell apart; every other registry type is rdUnknown.
enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry {
 public:
  // Root key HKEY_CURRENT_USER, no key open, key operations with full access.
  TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;
  ~TRegistry();

  platform::HKEY RootKey() const { return root_key_; }
  // Closes the current key.
  void SetRootKey(platform::HKEY root);
  platform::HKEY CurrentKey() const { return current_key_; }
  const std::string& CurrentPath() const { return current_path_; }
  // The rights OpenKey asks for (KEY_ALL_ACCESS after construction).
  platform::REGSAM Access() const { return access_; }
  void SetAccess(platform::REGSAM access) { access_ = access; }

  // Closes the current key and clears the current path; nothing when no key is open.
  void CloseKey();
  // Opens a key and makes it current. A key with a leading backslash starts at the root key; any
  // other at the current key when one is open, else at the root key. With can_create a missing key
  // is created. False, the current key unchanged, when it cannot be opened.
  bool OpenKey(const std::string& key, bool can_create);
  // True when the key can be opened (with Access()).
  bool KeyExists(const std::string& key);
  // Deletes the key with all its sub-keys, depth first.
  bool DeleteKey(const std::string& key);
  // The names of the current key's sub-keys and values.
  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();

  // Operations on the values of the current key.
  bool ValueExists(const std::string& name);
  bool DeleteValue(const std::string& name);
  TRegDataType GetDataType(const std::string& name);
  // The data size in bytes; -1 when the value cannot be read.
  int GetDataSize(const std::string& name);

  // REG_SZ or REG_EXPAND_SZ text up to its first NUL; empty when the value is missing or holds no data.
  std::string ReadString(const std::string& name);
  // A REG_DWORD as a signed 32-bit number. Data longer than four bytes: "Failed to get data for '%s'";
  // another type: "Invalid data type for '%s'".
  int32_t ReadInteger(const std::string& name);
  bool ReadBool(const std::string& name);
  // REG_SZ with its terminating NUL, REG_EXPAND_SZ likewise, REG_DWORD, REG_DWORD 1 or 0.
  void WriteString(const std::string& name, const std::string& value);
  void WriteExpandString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBool(const std::string& name, bool value);

 protected:
  // Opens (or with can_create creates) a key with the given rights and makes it current, as OpenKey
  // describes; the current path of a relative key continues the current one.
  bool OpenKeyWith(const std::string& key, bool can_create, platform::REGSAM rights);
  // Closes the current key and makes `key` current under the given path.
  void ChangeKey(platform::HKEY key, const std::string& path);
  // The key a relative or absolute key text starts from.
  platform::HKEY GetBaseKey(bool relative) const;
  // True for a key text without a leading backslash.
  static bool IsRelative(const std::string& key) { return key.empty() || key[0] != '\\'; }

 private:
  platform::HKEY OpenWithAccess(const std::string& key);
  void PutData(const std::string& name, const std::string& data, uint32_t type);

  platform::HKEY root_key_;
  platform::HKEY current_key_{};
  std::string current_path_;
  platform::REGSAM access_;
};

// Closes a registry object's current key when a scope ends, early returns and errors included.
class KeyCloser {
 public:
  explicit KeyCloser(TRegistry& registry) : registry_(registry) {}
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;
  ~KeyCloser() { registry_.CloseKey(); }

 private:
  TRegistry& registry_;
};

}  // namespace qv
