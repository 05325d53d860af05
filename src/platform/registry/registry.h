// The registry: keys under five predefined roots, each key holding named values of a type. The
// functions keep the shape and the error codes of the Win32 registry functions (RegOpenKeyEx ...):
// they return ERROR_SUCCESS or the Windows error code of the failure, and never set the last error
// (ERROR_FILE_NOT_FOUND for a missing key or value, ERROR_KEY_DELETED for a handle whose key another
// caller deleted, ERROR_MORE_DATA with the size needed ...).
//
// On Linux the registry is one hive in an SQLite database in the platform state directory, shared by
// every process. A hive that cannot be used at all (not a database, damaged, unreachable) raises
// ERegistryStoreError, whose one-line message names the file: such a hive never looks like an
// empty registry or a missing key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/errors/exception.h"
#include "platform/errors/win_error.h"

namespace qv::platform {

// An open key or a predefined root. Opaque; 0 is no key.
enum class HKEY : uintptr_t {};

inline constexpr HKEY HKEY_CLASSES_ROOT = static_cast<HKEY>(0x80000000u);
inline constexpr HKEY HKEY_CURRENT_USER = static_cast<HKEY>(0x80000001u);
inline constexpr HKEY HKEY_LOCAL_MACHINE = static_cast<HKEY>(0x80000002u);
inline constexpr HKEY HKEY_USERS = static_cast<HKEY>(0x80000003u);
inline constexpr HKEY HKEY_CURRENT_CONFIG = static_cast<HKEY>(0x80000005u);

// Access rights (REGSAM).
using REGSAM = uint32_t;
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
inline constexpr REGSAM GENERIC_ALL = 0x10000000;
inline constexpr REGSAM GENERIC_EXECUTE = 0x20000000;
inline constexpr REGSAM GENERIC_WRITE = 0x40000000;
inline constexpr REGSAM GENERIC_READ = 0x80000000;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_EXECUTE = KEY_READ;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Value types. Any other number is kept as a type of raw bytes.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_DWORD_BIG_ENDIAN = 5;
inline constexpr uint32_t REG_LINK = 6;
inline constexpr uint32_t REG_MULTI_SZ = 7;
inline constexpr uint32_t REG_QWORD = 11;

// Key options and what RegCreateKeyEx did.
inline constexpr uint32_t REG_OPTION_NON_VOLATILE = 0;
inline constexpr uint32_t REG_CREATED_NEW_KEY = 1;
inline constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

// The registry's store cannot be used at all. The message names the hive file.
QV_EXCEPTION_CLASS(ERegistryStoreError, Exception);

// Sub-key paths are names separated by backslashes, relative to `key`; an empty path means `key`
// itself. Names of keys and values compare without regard to case and keep the spelling they were
// created with; an empty value name is the key's default value.

uint32_t RegOpenKeyEx(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired, HKEY* result);
// Opens the key, creating it and any missing key above it first. `disposition` (may be null) tells
// REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. Every key is non-volatile; options are accepted
// and ignored.
uint32_t RegCreateKeyEx(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired, HKEY* result,
                        uint32_t* disposition);
// Closing a predefined root does nothing and succeeds.
uint32_t RegCloseKey(HKEY key);

// The value's type and data, as Win32 gives them: with no data buffer only the size is told; with a
// buffer too small for the data, ERROR_MORE_DATA and the size needed (the type is told either way).
uint32_t RegQueryValueEx(HKEY key, const std::string& value_name, uint32_t* type, uint8_t* data,
                         uint32_t* data_size);
// The same, the whole data in one string of bytes.
uint32_t RegQueryValueEx(HKEY key, const std::string& value_name, uint32_t* type, std::string* data);

uint32_t RegSetValueEx(HKEY key, const std::string& value_name, uint32_t type, const uint8_t* data,
                       uint32_t data_size);
uint32_t RegSetValueEx(HKEY key, const std::string& value_name, uint32_t type, const std::string& data);

uint32_t RegDeleteValue(HKEY key, const std::string& value_name);
// Deletes a key that has no sub-keys (ERROR_ACCESS_DENIED when it has some, as Windows does).
uint32_t RegDeleteKey(HKEY key, const std::string& sub_key);

// The index-th sub-key or value; ERROR_NO_MORE_ITEMS past the last. Sub-keys come in the order of
// their names, values in the order they were first set.
uint32_t RegEnumKeyEx(HKEY key, uint32_t index, std::string* name);
uint32_t RegEnumValue(HKEY key, uint32_t index, std::string* name, uint32_t* type, std::string* data);

// Counts and longest lengths (in bytes) of a key's sub-key names, value names and value data. Each
// output may be null.
uint32_t RegQueryInfoKey(HKEY key, uint32_t* sub_keys, uint32_t* max_sub_key_length, uint32_t* values,
                         uint32_t* max_value_name_length, uint32_t* max_value_length);

// A registry transaction (CreateTransaction of the system's transaction manager): what is changed
// through keys created or opened in it (RegCreateKeyTransacted, RegOpenKeyTransacted), and through keys
// opened below those, becomes visible to everybody at Commit, all of it at once; nothing of it when the
// transaction goes uncommitted, also when its process ends half-way. Other writers of the registry
// wait until it ends. Its keys are closed before it goes.
class RegTransaction {
 public:
  // Raises EWin32Error when no transaction can be begun (ERROR_ACCESS_DENIED: the registry may not be
  // written).
  RegTransaction();
  RegTransaction(const RegTransaction&) = delete;
  RegTransaction& operator=(const RegTransaction&) = delete;
  ~RegTransaction();
  // ERROR_SUCCESS, or the code of a failure, after which nothing of the transaction is kept.
  uint32_t Commit();

  struct State;  // the platform's
  State& Get() const { return *state_; }

 private:
  std::unique_ptr<State> state_;
};

uint32_t RegCreateKeyTransacted(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired,
                                HKEY* result, uint32_t* disposition, RegTransaction& transaction);
uint32_t RegOpenKeyTransacted(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired,
                              HKEY* result, RegTransaction& transaction);

// Maps a predefined root (HKEY_LOCAL_MACHINE ...) to another key for every thread of this process, as
// RegOverridePredefKey does; a zero key restores the root. Other processes and the system are not
// affected. Tests use it to give each test a registry of its own where the registry is the system's.
// ERROR_INVALID_PARAMETER for a key that is not a predefined root.
uint32_t RegOverridePredefKey(HKEY key, HKEY override_key);

// Owns an open key and closes it when it goes.
class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : key_(key) {}
  RegKey(RegKey&& other) noexcept : key_(other.Release()) {}
  RegKey& operator=(RegKey&& other) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Close(); }

  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != HKEY{}; }
  // The address to receive a newly opened key; the key held so far is closed first.
  HKEY* Receive();
  HKEY Release();
  void Close();

 private:
  HKEY key_{};
};

// Where this platform keeps the registry: the hive file of the stand-in (empty where the system keeps
// the registry), and whether this process may not write it.
std::string RegistryHiveFile();
bool RegistryHiveIsWriteProtected();

}  // namespace qv::platform
