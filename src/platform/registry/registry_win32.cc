// The registry functions over the system's registry (the wide Reg* calls). Texts of the string types
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are stored in UTF-16, as the system keeps them, and come back
// in single bytes as the ANSI calls give them; other types are bytes either way.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/errors/system_error.h"
#include "platform/registry/registry.h"
#include "platform/text/code_page.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

bool IsPredefined(HKEY key) {
  const auto value = static_cast<uintptr_t>(key);
  return value >= 0x80000000u && value <= 0x80000006u;
}

// Our predefined roots are the 32-bit numbers; the system's are those numbers sign-extended.
::HKEY SystemKey(HKEY key) {
  const auto value = static_cast<uintptr_t>(key);
  if (IsPredefined(key))
    return reinterpret_cast<::HKEY>(
        static_cast<intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(value))));
  return reinterpret_cast<::HKEY>(value);
}

HKEY OurKey(::HKEY key) {
  return static_cast<HKEY>(reinterpret_cast<uintptr_t>(key));
}

bool IsTextType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The value's data as the system keeps it (UTF-16 for the text types).
uint32_t QueryStored(::HKEY key, const std::wstring& name, DWORD* type, std::vector<uint8_t>* data) {
  DWORD size = 0;
  LSTATUS code = ::RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (code != ERROR_SUCCESS && code != ERROR_MORE_DATA) return static_cast<uint32_t>(code);
    data->resize(size);
    code = ::RegQueryValueExW(key, name.c_str(), nullptr, type, data->data(), &size);
    if (code == ERROR_SUCCESS) {
      data->resize(size);
      return ERROR_SUCCESS;
    }
  }
  return static_cast<uint32_t>(code);
}

// Stored data in the form our callers see: text types turned into single bytes.
std::string AsCallerData(DWORD type, const std::vector<uint8_t>& stored) {
  if (!IsTextType(type)) return std::string(stored.begin(), stored.end());
  std::u16string wide(stored.size() / 2, u'\0');
  if (!wide.empty()) std::memcpy(wide.data(), stored.data(), wide.size() * 2);
  return WideToAnsi(wide);
}

}  // namespace

uint32_t RegOpenKeyEx(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = HKEY{};
  ::HKEY opened = nullptr;
  const LSTATUS code =
      ::RegOpenKeyExW(SystemKey(key), win32::Wide(sub_key).c_str(), options, desired, &opened);
  if (code == ERROR_SUCCESS) *result = OurKey(opened);
  return static_cast<uint32_t>(code);
}

uint32_t RegCreateKeyEx(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired, HKEY* result,
                        uint32_t* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = HKEY{};
  ::HKEY opened = nullptr;
  DWORD what = 0;
  const LSTATUS code = ::RegCreateKeyExW(SystemKey(key), win32::Wide(sub_key).c_str(), 0, nullptr, options,
                                         desired, nullptr, &opened, &what);
  if (code == ERROR_SUCCESS) {
    *result = OurKey(opened);
    if (disposition != nullptr) *disposition = what;
  }
  return static_cast<uint32_t>(code);
}

namespace {

// The transaction manager's calls, looked up at run time: a system without them (Wine lacks some)
// still imports the registry, one change after the other.
struct TransactionCalls {
  using CreateTransactionCall = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPGUID, DWORD, DWORD, DWORD, DWORD,
                                                LPWSTR);
  using EndTransactionCall = BOOL(WINAPI*)(HANDLE);
  using CreateKeyCall = LSTATUS(WINAPI*)(::HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM,
                                         const LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD, HANDLE, PVOID);
  using OpenKeyCall = LSTATUS(WINAPI*)(::HKEY, LPCWSTR, DWORD, REGSAM, PHKEY, HANDLE, PVOID);

  CreateTransactionCall create = nullptr;
  EndTransactionCall commit = nullptr;
  EndTransactionCall rollback = nullptr;
  CreateKeyCall create_key = nullptr;
  OpenKeyCall open_key = nullptr;

  bool Complete() const { return create && commit && rollback && create_key && open_key; }

  static const TransactionCalls& Get() {
    static const TransactionCalls calls = [] {
      TransactionCalls found;
      const HMODULE ktm = ::LoadLibraryW(L"ktmw32.dll");
      const HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
      if (ktm == nullptr || advapi == nullptr) return found;
      Take(ktm, "CreateTransaction", &found.create);
      Take(ktm, "CommitTransaction", &found.commit);
      Take(ktm, "RollbackTransaction", &found.rollback);
      Take(advapi, "RegCreateKeyTransactedW", &found.create_key);
      Take(advapi, "RegOpenKeyTransactedW", &found.open_key);
      return found;
    }();
    return calls;
  }

 private:
  template <class Call>
  static void Take(HMODULE module, const char* name, Call* call) {
    const FARPROC address = ::GetProcAddress(module, name);
    static_assert(sizeof(address) == sizeof(*call));
    if (address != nullptr) std::memcpy(call, &address, sizeof(*call));
  }
};

}  // namespace

// The transaction's handle; none where the system offers no transactions.
struct RegTransaction::State {
  win32::UniqueHandle handle;
  bool ended = false;
};

RegTransaction::RegTransaction() : state_(std::make_unique<State>()) {
  const TransactionCalls& calls = TransactionCalls::Get();
  if (!calls.Complete()) return;
  state_->handle.reset(calls.create(nullptr, nullptr, 0, 0, 0, 0, nullptr));
  if (!state_->handle) RaiseSystemError("Cannot begin a registry transaction", ::GetLastError());
}

RegTransaction::~RegTransaction() {
  if (state_->handle && !state_->ended) TransactionCalls::Get().rollback(state_->handle.get());
}

uint32_t RegTransaction::Commit() {
  if (!state_->handle) return ERROR_SUCCESS;
  state_->ended = true;
  return TransactionCalls::Get().commit(state_->handle.get()) ? ERROR_SUCCESS
                                                              : static_cast<uint32_t>(::GetLastError());
}

uint32_t RegCreateKeyTransacted(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired,
                                HKEY* result, uint32_t* disposition, RegTransaction& transaction) {
  const HANDLE handle = transaction.Get().handle.get();
  if (handle == nullptr) return RegCreateKeyEx(key, sub_key, options, desired, result, disposition);
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = HKEY{};
  ::HKEY opened = nullptr;
  DWORD what = 0;
  const LSTATUS code =
      TransactionCalls::Get().create_key(SystemKey(key), win32::Wide(sub_key).c_str(), 0, nullptr, options,
                                         desired, nullptr, &opened, &what, handle, nullptr);
  if (code == ERROR_SUCCESS) {
    *result = OurKey(opened);
    if (disposition != nullptr) *disposition = what;
  }
  return static_cast<uint32_t>(code);
}

uint32_t RegOpenKeyTransacted(HKEY key, const std::string& sub_key, uint32_t options, REGSAM desired,
                              HKEY* result, RegTransaction& transaction) {
  const HANDLE handle = transaction.Get().handle.get();
  if (handle == nullptr) return RegOpenKeyEx(key, sub_key, options, desired, result);
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = HKEY{};
  ::HKEY opened = nullptr;
  const LSTATUS code = TransactionCalls::Get().open_key(SystemKey(key), win32::Wide(sub_key).c_str(), options,
                                                        desired, &opened, handle, nullptr);
  if (code == ERROR_SUCCESS) *result = OurKey(opened);
  return static_cast<uint32_t>(code);
}

uint32_t RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  return static_cast<uint32_t>(::RegCloseKey(SystemKey(key)));
}

uint32_t RegQueryValueEx(HKEY key, const std::string& value_name, uint32_t* type, std::string* data) {
  DWORD stored_type = REG_NONE;
  std::vector<uint8_t> stored;
  const uint32_t code = QueryStored(SystemKey(key), win32::Wide(value_name), &stored_type, &stored);
  if (code != ERROR_SUCCESS) return code;
  if (type != nullptr) *type = stored_type;
  if (data != nullptr) *data = AsCallerData(stored_type, stored);
  return ERROR_SUCCESS;
}

uint32_t RegSetValueEx(HKEY key, const std::string& value_name, uint32_t type, const std::string& data) {
  const std::wstring name = win32::Wide(value_name);
  if (IsTextType(type)) {
    const std::wstring text = win32::Wide(data);
    return static_cast<uint32_t>(::RegSetValueExW(SystemKey(key), name.c_str(), 0, type,
                                                  reinterpret_cast<const BYTE*>(text.data()),
                                                  static_cast<DWORD>(text.size() * sizeof(wchar_t))));
  }
  return static_cast<uint32_t>(::RegSetValueExW(SystemKey(key), name.c_str(), 0, type,
                                                reinterpret_cast<const BYTE*>(data.data()),
                                                static_cast<DWORD>(data.size())));
}

uint32_t RegDeleteValue(HKEY key, const std::string& value_name) {
  return static_cast<uint32_t>(::RegDeleteValueW(SystemKey(key), win32::Wide(value_name).c_str()));
}

uint32_t RegDeleteKey(HKEY key, const std::string& sub_key) {
  return static_cast<uint32_t>(::RegDeleteKeyW(SystemKey(key), win32::Wide(sub_key).c_str()));
}

uint32_t RegEnumKeyEx(HKEY key, uint32_t index, std::string* name) {
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  wchar_t buffer[256];  // key names have at most 255 characters
  DWORD length = static_cast<DWORD>(std::size(buffer));
  const LSTATUS code =
      ::RegEnumKeyExW(SystemKey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (code == ERROR_SUCCESS) *name = win32::Narrow(std::wstring_view(buffer, length));
  return static_cast<uint32_t>(code);
}

uint32_t RegEnumValue(HKEY key, uint32_t index, std::string* name, uint32_t* type, std::string* data) {
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  const ::HKEY system = SystemKey(key);
  DWORD max_name = 0;
  DWORD max_data = 0;
  LSTATUS code = ::RegQueryInfoKeyW(system, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &max_name, &max_data, nullptr, nullptr);
  if (code != ERROR_SUCCESS) return static_cast<uint32_t>(code);
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::vector<wchar_t> name_buffer(max_name + 2);
    std::vector<uint8_t> data_buffer(max_data + 2);
    DWORD name_length = static_cast<DWORD>(name_buffer.size());
    DWORD data_length = static_cast<DWORD>(data_buffer.size());
    DWORD stored_type = REG_NONE;
    code = ::RegEnumValueW(system, index, name_buffer.data(), &name_length, nullptr, &stored_type,
                           data_buffer.data(), &data_length);
    if (code == ERROR_MORE_DATA) {
      // Changed meanwhile: room for what is there now.
      max_name = std::max<DWORD>(max_name * 2, 256);
      max_data = std::max<DWORD>(max_data * 2, data_length);
      continue;
    }
    if (code != ERROR_SUCCESS) return static_cast<uint32_t>(code);
    data_buffer.resize(data_length);
    *name = win32::Narrow(std::wstring_view(name_buffer.data(), name_length));
    if (type != nullptr) *type = stored_type;
    if (data != nullptr) *data = AsCallerData(stored_type, data_buffer);
    return ERROR_SUCCESS;
  }
  return static_cast<uint32_t>(code);
}

uint32_t RegQueryInfoKey(HKEY key, uint32_t* sub_keys, uint32_t* max_sub_key_length, uint32_t* values,
                         uint32_t* max_value_name_length, uint32_t* max_value_length) {
  DWORD key_count = 0;
  DWORD key_length = 0;
  DWORD value_count = 0;
  DWORD name_length = 0;
  DWORD data_length = 0;
  const LSTATUS code =
      ::RegQueryInfoKeyW(SystemKey(key), nullptr, nullptr, nullptr, &key_count, &key_length, nullptr,
                         &value_count, &name_length, &data_length, nullptr, nullptr);
  if (code != ERROR_SUCCESS) return static_cast<uint32_t>(code);
  if (sub_keys != nullptr) *sub_keys = key_count;
  if (max_sub_key_length != nullptr) *max_sub_key_length = key_length;
  if (values != nullptr) *values = value_count;
  if (max_value_name_length != nullptr) *max_value_name_length = name_length;
  if (max_value_length != nullptr) {
    // The system counts text values in UTF-16; ours are single bytes, so the longest is measured.
    uint32_t longest = 0;
    std::string name;
    std::string data;
    for (uint32_t index = 0; RegEnumValue(key, index, &name, nullptr, &data) == ERROR_SUCCESS; ++index)
      longest = std::max(longest, static_cast<uint32_t>(data.size()));
    *max_value_length = longest;
  }
  return ERROR_SUCCESS;
}

uint32_t RegOverridePredefKey(HKEY key, HKEY override_key) {
  if (!IsPredefined(key)) return ERROR_INVALID_PARAMETER;
  return static_cast<uint32_t>(
      ::RegOverridePredefKey(SystemKey(key), override_key == HKEY{} ? nullptr : SystemKey(override_key)));
}

// The system keeps the registry; there is no hive file of ours, and whether a key may be written is
// the key's own security.
std::string RegistryHiveFile() {
  return std::string();
}

bool RegistryHiveIsWriteProtected() {
  return false;
}

}  // namespace qv::platform
