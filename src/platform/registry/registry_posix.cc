// The registry functions over the hive of the platform state directory. Open keys are entries of a
// process-wide handle table; each keeps the hive it was opened in, the key's id and the rights granted.
// In a write-protected hive a request for write rights fails with ERROR_ACCESS_DENIED, as for a key
// the caller may only read on Windows.
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/state_dir.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_hive_posix.h"

namespace qv::platform {

namespace {

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr const char* kHiveFileName = "registry.db";

struct OpenKey {
  std::shared_ptr<posix::RegistryHive> hive;
  int64_t id = 0;
  REGSAM access = 0;
};

// The rights a request stands for: generic rights turned into key rights, the view flags dropped.
REGSAM SpecificRights(REGSAM desired, bool write_protected) {
  REGSAM rights = desired & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY | GENERIC_ALL | GENERIC_EXECUTE |
                              GENERIC_WRITE | GENERIC_READ | MAXIMUM_ALLOWED);
  if ((desired & (GENERIC_READ | GENERIC_EXECUTE)) != 0) rights |= KEY_READ;
  if ((desired & GENERIC_WRITE) != 0) rights |= KEY_WRITE;
  if ((desired & GENERIC_ALL) != 0) rights |= KEY_ALL_ACCESS;
  if ((desired & MAXIMUM_ALLOWED) != 0) rights |= write_protected ? KEY_READ : KEY_ALL_ACCESS;
  return rights;
}

class Registry {
 public:
  static Registry& Instance() {
    static Registry registry;
    return registry;
  }

  // Runs an operation under the registry's lock with the open key behind a handle.
  template <class Operation>
  uint32_t WithKey(HKEY key, Operation&& operation) {
    std::lock_guard lock(mutex_);
    OpenKey open;
    if (const uint32_t code = Resolve(key, &open); code != ERROR_SUCCESS) return code;
    return operation(open);
  }

  uint32_t Add(OpenKey open, HKEY* result) {
    // Called under the lock by the open and create operations.
    uintptr_t value = next_handle_++;
    if (next_handle_ >= 0x80000000u) next_handle_ = 1;
    while (handles_.count(value) != 0) value = next_handle_++;
    handles_.emplace(value, std::move(open));
    *result = static_cast<HKEY>(value);
    return ERROR_SUCCESS;
  }

  uint32_t Close(HKEY key) {
    std::lock_guard lock(mutex_);
    if (PredefinedSlot(key)) return ERROR_SUCCESS;
    return handles_.erase(static_cast<uintptr_t>(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }

  uint32_t Override(HKEY key, HKEY override_key) {
    std::lock_guard lock(mutex_);
    if (!PredefinedSlot(key)) return ERROR_INVALID_PARAMETER;
    const auto slot = static_cast<uintptr_t>(key);
    if (override_key == HKEY{}) {
      overrides_.erase(slot);
      return ERROR_SUCCESS;
    }
    // The override is kept as it is now, so closing its handle later changes nothing (the system
    // keeps a duplicate of the handle).
    OpenKey replacement;
    if (const uint32_t code = Resolve(override_key, &replacement); code != ERROR_SUCCESS) return code;
    overrides_[slot] = std::move(replacement);
    return ERROR_SUCCESS;
  }

  std::shared_ptr<posix::RegistryHive> CurrentHive() {
    std::lock_guard lock(mutex_);
    return Hive();
  }

 private:
  static bool PredefinedSlot(HKEY key) {
    const auto value = static_cast<uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x80000005u && value != 0x80000004u;
  }

  // The hive of the state directory as it is named now; opened again when the directory changes.
  std::shared_ptr<posix::RegistryHive> Hive() {
    const std::string path = PlatformStateDirectory() + "/" + kHiveFileName;
    if (hive_ == nullptr || hive_->Path() != path) {
      hive_.reset();
      PlatformStateFile(kHiveFileName);  // creates the directory
      hive_ = std::make_shared<posix::RegistryHive>(path);
    }
    return hive_;
  }

  uint32_t Resolve(HKEY key, OpenKey* open) {
    if (PredefinedSlot(key)) {
      if (const auto overridden = overrides_.find(static_cast<uintptr_t>(key));
          overridden != overrides_.end()) {
        *open = overridden->second;
        return ERROR_SUCCESS;
      }
      open->hive = Hive();
      open->id = open->hive->RootKey(key);
      open->access = KEY_ALL_ACCESS;
      return ERROR_SUCCESS;
    }
    const auto found = handles_.find(static_cast<uintptr_t>(key));
    if (found == handles_.end()) return ERROR_INVALID_HANDLE;
    *open = found->second;
    return ERROR_SUCCESS;
  }

  std::mutex mutex_;
  std::shared_ptr<posix::RegistryHive> hive_;
  std::unordered_map<uintptr_t, OpenKey> handles_;
  std::unordered_map<uintptr_t, OpenKey> overrides_;  // predefined roots mapped to other keys
  uintptr_t next_handle_ = 1;
};

// Opens or creates a key below `key`; in the transaction's connection to the hive when one is given.
uint32_t OpenOrCreate(HKEY key, const std::string& sub_key, REGSAM desired, bool create, HKEY* result,
                      uint32_t* disposition,
                      const std::shared_ptr<posix::RegistryHive>& transaction_hive = nullptr) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = HKEY{};
  Registry& registry = Registry::Instance();
  return registry.WithKey(key, [&](OpenKey base) -> uint32_t {
    if (transaction_hive != nullptr) {
      // The same keys, reached through the transaction's connection.
      if (base.hive->Path() != transaction_hive->Path()) return ERROR_INVALID_PARAMETER;
      base.hive = transaction_hive;
    }
    const REGSAM rights = SpecificRights(desired, base.hive->IsWriteProtected());
    if ((rights & kWriteRights) != 0 && base.hive->IsWriteProtected()) return ERROR_ACCESS_DENIED;
    const std::string path(sub_key.c_str());
    OpenKey opened{base.hive, 0, rights};
    if (!create) {
      if (const uint32_t code = base.hive->OpenKey(base.id, path, &opened.id); code != ERROR_SUCCESS)
        return code;
    } else {
      bool created = false;
      int64_t existing = 0;
      const uint32_t found = base.hive->OpenKey(base.id, path, &existing);
      if (found == ERROR_FILE_NOT_FOUND && (base.access & KEY_CREATE_SUB_KEY) == 0)
        return ERROR_ACCESS_DENIED;
      if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) return found;
      if (const uint32_t code = base.hive->CreateKey(base.id, path, &opened.id, &created);
          code != ERROR_SUCCESS)
        return code;
      if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return registry.Add(std::move(opened), result);
  });
}

uint32_t Require(const OpenKey& key, REGSAM right) {
  return (key.access & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

}  // namespace

uint32_t RegOpenKeyEx(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired, HKEY* result) {
  return OpenOrCreate(key, sub_key, desired, false, result, nullptr);
}

// A connection of its own to the hive, in one SQLite transaction: its keys' changes are that
// connection's until the commit.
struct RegTransaction::State {
  std::shared_ptr<posix::RegistryHive> hive;
};

RegTransaction::RegTransaction() : state_(std::make_unique<State>()) {
  state_->hive = std::make_shared<posix::RegistryHive>(Registry::Instance().CurrentHive()->Path());
  if (const uint32_t code = state_->hive->BeginTransaction(); code != ERROR_SUCCESS)
    RaiseSystemError("Cannot begin a registry transaction", code);
}

RegTransaction::~RegTransaction() = default;

uint32_t RegTransaction::Commit() {
  return state_->hive->CommitTransaction();
}

uint32_t RegCreateKeyTransacted(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired,
                                HKEY* result, uint32_t* disposition, RegTransaction& transaction) {
  return OpenOrCreate(key, sub_key, desired, true, result, disposition, transaction.Get().hive);
}

uint32_t RegOpenKeyTransacted(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired,
                              HKEY* result, RegTransaction& transaction) {
  return OpenOrCreate(key, sub_key, desired, false, result, nullptr, transaction.Get().hive);
}

uint32_t RegCreateKeyEx(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired, HKEY* result,
                        uint32_t* disposition) {
  return OpenOrCreate(key, sub_key, desired, true, result, disposition);
}

uint32_t RegCloseKey(HKEY key) {
  return Registry::Instance().Close(key);
}

uint32_t RegQueryValueEx(HKEY key, const std::string& value_name, uint32_t* type, std::string* data) {
  return Registry::Instance().WithKey(key, [&](const OpenKey& open) -> uint32_t {
    if (const uint32_t code = Require(open, KEY_QUERY_VALUE); code != ERROR_SUCCESS) return code;
    uint32_t stored_type = REG_NONE;
    std::string stored;
    const uint32_t code = open.hive->QueryValue(open.id, value_name.c_str(), &stored_type, &stored);
    if (code != ERROR_SUCCESS) return code;
    if (type != nullptr) *type = stored_type;
    if (data != nullptr) *data = std::move(stored);
    return ERROR_SUCCESS;
  });
}

uint32_t RegSetValueEx(HKEY key, const std::string& value_name, uint32_t type, const std::string& data) {
  return Registry::Instance().WithKey(key, [&](const OpenKey& open) -> uint32_t {
    if (const uint32_t code = Require(open, KEY_SET_VALUE); code != ERROR_SUCCESS) return code;
    return open.hive->SetValue(open.id, value_name.c_str(), type, data);
  });
}

uint32_t RegDeleteValue(HKEY key, const std::string& value_name) {
  return Registry::Instance().WithKey(key, [&](const OpenKey& open) -> uint32_t {
    if (const uint32_t code = Require(open, KEY_SET_VALUE); code != ERROR_SUCCESS) return code;
    return open.hive->DeleteValue(open.id, value_name.c_str());
  });
}

uint32_t RegDeleteKey(HKEY key, const std::string& sub_key) {
  return Registry::Instance().WithKey(
      key, [&](const OpenKey& open) -> uint32_t { return open.hive->DeleteKey(open.id, sub_key.c_str()); });
}

uint32_t RegEnumKeyEx(HKEY key, uint32_t index, std::string* name) {
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  return Registry::Instance().WithKey(key, [&](const OpenKey& open) -> uint32_t {
    if (const uint32_t code = Require(open, KEY_ENUMERATE_SUB_KEYS); code != ERROR_SUCCESS) return code;
    return open.hive->EnumKey(open.id, index, name);
  });
}

uint32_t RegEnumValue(HKEY key, uint32_t index, std::string* name, uint32_t* type, std::string* data) {
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  return Registry::Instance().WithKey(key, [&](const OpenKey& open) -> uint32_t {
    if (const uint32_t code = Require(open, KEY_QUERY_VALUE); code != ERROR_SUCCESS) return code;
    uint32_t stored_type = REG_NONE;
    std::string stored;
    const uint32_t code = open.hive->EnumValue(open.id, index, name, &stored_type, &stored);
    if (code != ERROR_SUCCESS) return code;
    if (type != nullptr) *type = stored_type;
    if (data != nullptr) *data = std::move(stored);
    return ERROR_SUCCESS;
  });
}

uint32_t RegQueryInfoKey(HKEY key, uint32_t* sub_keys, uint32_t* max_sub_key_length, uint32_t* values,
                         uint32_t* max_value_name_length, uint32_t* max_value_length) {
  return Registry::Instance().WithKey(key, [&](const OpenKey& open) -> uint32_t {
    if (const uint32_t code = Require(open, KEY_QUERY_VALUE); code != ERROR_SUCCESS) return code;
    posix::RegistryHive::KeyInfo info;
    if (const uint32_t code = open.hive->QueryInfo(open.id, &info); code != ERROR_SUCCESS) return code;
    if (sub_keys != nullptr) *sub_keys = info.sub_keys;
    if (max_sub_key_length != nullptr) *max_sub_key_length = info.max_sub_key_length;
    if (values != nullptr) *values = info.values;
    if (max_value_name_length != nullptr) *max_value_name_length = info.max_value_name_length;
    if (max_value_length != nullptr) *max_value_length = info.max_value_length;
    return ERROR_SUCCESS;
  });
}

uint32_t RegOverridePredefKey(HKEY key, HKEY override_key) {
  return Registry::Instance().Override(key, override_key);
}

std::string RegistryHiveFile() {
  return PlatformStateDirectory() + "/" + kHiveFileName;
}

bool RegistryHiveIsWriteProtected() {
  return Registry::Instance().CurrentHive()->IsWriteProtected();
}

}  // namespace qv::platform
