// The registry stand-in's store: one hive (the five predefined roots and every key below them) in an
// SQLite database. Keys are rows addressed by id; several connections, in one process or many, may
// use one hive file at once. Internal to the platform layer (the registry functions stand on it) and
// its tests.
//
// Every change is one BEGIN IMMEDIATE transaction, a busy hive is waited for (SQLite's busy wait), and
// nothing is cached between calls, so every process sees a change at once. The hive is write-protected
// when its file carries the read-only attribute (no write permission bits: this holds for root too,
// as on Windows) or this process may not write it; reading works, writing gives ERROR_ACCESS_DENIED.
// Every opening runs SQLite's quick check, so a damaged hive is refused before it is read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/registry.h"
#include "platform/sqlite/sqlite_database.h"

namespace qv::platform::posix {

class RegistryHive {
 public:
  // Opens the hive file, creating a new hive when the file does not exist. Opens it for reading only
  // when the file is write-protected or this process may not write it. Raises ERegistryStoreError,
  // naming the file, when the file is not a sound registry hive.
  explicit RegistryHive(std::string path);
  RegistryHive(const RegistryHive&) = delete;
  RegistryHive& operator=(const RegistryHive&) = delete;

  const std::string& Path() const { return path_; }
  // True when the hive was opened for reading only, or its file has been write-protected since.
  bool IsWriteProtected() const;

  // The id of a predefined root's key; 0 for any other handle.
  int64_t RootKey(HKEY predefined) const;

  // Each operation returns a Windows error code: ERROR_KEY_DELETED when a key id no longer exists,
  // ERROR_FILE_NOT_FOUND for a missing key or value, ERROR_ACCESS_DENIED when the hive may not be
  // written. A failure of the file itself raises ERegistryStoreError.
  uint32_t OpenKey(int64_t base, std::string_view path, int64_t* key);
  uint32_t CreateKey(int64_t base, std::string_view path, int64_t* key, bool* created);
  // Deletes the key at the path (the base itself for an empty path) when it has no sub-keys.
  uint32_t DeleteKey(int64_t base, std::string_view path);
  uint32_t QueryValue(int64_t key, std::string_view name, uint32_t* type, std::string* data);
  uint32_t SetValue(int64_t key, std::string_view name, uint32_t type, std::string_view data);
  uint32_t DeleteValue(int64_t key, std::string_view name);
  uint32_t EnumKey(int64_t key, uint32_t index, std::string* name);
  uint32_t EnumValue(int64_t key, uint32_t index, std::string* name, uint32_t* type, std::string* data);

  // One transaction over this connection's operations: they become visible to other connections at
  // CommitTransaction, all at once, and are undone when the hive goes without it. Other writers wait
  // meanwhile. ERROR_ACCESS_DENIED when the hive may not be written.
  uint32_t BeginTransaction();
  uint32_t CommitTransaction();

  struct KeyInfo {
    uint32_t sub_keys = 0;
    uint32_t max_sub_key_length = 0;
    uint32_t values = 0;
    uint32_t max_value_name_length = 0;
    uint32_t max_value_length = 0;
  };
  uint32_t QueryInfo(int64_t key, KeyInfo* info);

 private:
  void Open();
  void CheckIntegrity();
  void PrepareSchema();
  // Runs a database step; turns the database's failures into a code or ERegistryStoreError.
  uint32_t Guarded(bool writing, const std::function<uint32_t()>& step);
  [[noreturn]] void RaiseStoreError(const std::string& reason) const;
  bool KeyExists(int64_t key);
  uint32_t Walk(int64_t base, std::string_view path, int64_t* key);
  int64_t FindChild(int64_t parent, std::string_view name);
  int64_t InsertChild(int64_t parent, std::string_view name);

  std::string path_;
  std::unique_ptr<SqliteDatabase> database_;
  std::optional<SqliteDatabase::Transaction> transaction_;  // goes (rolled back) before the database
  bool opened_read_only_ = false;
  int64_t roots_[6] = {};
};

}  // namespace qv::platform::posix
