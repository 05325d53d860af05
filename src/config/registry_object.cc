#include "config/registry_object.h"

#include "platform/errors/win_error.h"

namespace qv {

using namespace platform;

namespace {

TRegDataType DataTypeOf(uint32_t type) {
  switch (type) {
    case REG_SZ:
      return TRegDataType::rdString;
    case REG_EXPAND_SZ:
      return TRegDataType::rdExpandString;
    case REG_DWORD:
      return TRegDataType::rdInteger;
    case REG_BINARY:
      return TRegDataType::rdBinary;
    default:
      return TRegDataType::rdUnknown;
  }
}

[[noreturn]] void ReadError(const std::string& name) {
  throw ERegistryException("Invalid data type for '" + name + "'");
}

[[noreturn]] void GetDataError(const std::string& name) {
  throw ERegistryException("Failed to get data for '" + name + "'");
}

// Deletes every sub-key below an open key, depth first.
void DeleteSubKeys(HKEY key, REGSAM access) {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t index = 0; RegEnumKeyEx(key, index, &name) == ERROR_SUCCESS; ++index) names.push_back(name);
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    RegKey child;
    if (RegOpenKeyEx(key, *it, 0, access, child.Receive()) == ERROR_SUCCESS)
      DeleteSubKeys(child.Get(), access);
    child.Close();
    RegDeleteKey(key, *it);
  }
}

}  // namespace

TRegistry::TRegistry() : root_key_(HKEY_CURRENT_USER), access_(KEY_ALL_ACCESS) {}

TRegistry::~TRegistry() {
  CloseKey();
}

void TRegistry::SetRootKey(HKEY root) {
  CloseKey();
  root_key_ = root;
}

void TRegistry::CloseKey() {
  if (current_key_ == HKEY{}) return;
  RegCloseKey(current_key_);
  current_key_ = HKEY{};
  current_path_.clear();
}

void TRegistry::ChangeKey(HKEY key, const std::string& path) {
  CloseKey();
  current_key_ = key;
  current_path_ = path;
}

HKEY TRegistry::GetBaseKey(bool relative) const {
  return current_key_ == HKEY{} || !relative ? root_key_ : current_key_;
}

bool TRegistry::OpenKeyWith(const std::string& key, bool can_create, REGSAM rights) {
  const bool relative = IsRelative(key);
  std::string path = relative ? key : key.substr(1);
  HKEY opened{};
  uint32_t code = ERROR_SUCCESS;
  if (!can_create || path.empty()) {
    code = RegOpenKeyEx(GetBaseKey(relative), path, 0, rights, &opened);
  } else {
    uint32_t disposition = 0;
    code = RegCreateKeyEx(GetBaseKey(relative), path, REG_OPTION_NON_VOLATILE, rights, &opened, &disposition);
  }
  if (code != ERROR_SUCCESS) return false;
  if (current_key_ != HKEY{} && relative) path = current_path_ + "\\" + path;
  ChangeKey(opened, path);
  return true;
}

bool TRegistry::OpenKey(const std::string& key, bool can_create) {
  return OpenKeyWith(key, can_create, access_);
}

HKEY TRegistry::OpenWithAccess(const std::string& key) {
  const bool relative = IsRelative(key);
  HKEY opened{};
  if (RegOpenKeyEx(GetBaseKey(relative), relative ? key : key.substr(1), 0, access_, &opened) !=
      ERROR_SUCCESS)
    return HKEY{};
  return opened;
}

bool TRegistry::KeyExists(const std::string& key) {
  return RegKey(OpenWithAccess(key)).Get() != HKEY{};
}

bool TRegistry::DeleteKey(const std::string& key) {
  const bool relative = IsRelative(key);
  {
    RegKey target(OpenWithAccess(key));
    if (target) DeleteSubKeys(target.Get(), access_);
  }
  return RegDeleteKey(GetBaseKey(relative), relative ? key : key.substr(1)) == ERROR_SUCCESS;
}

std::vector<std::string> TRegistry::GetKeyNames() {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t index = 0; RegEnumKeyEx(current_key_, index, &name) == ERROR_SUCCESS; ++index)
    names.push_back(name);
  return names;
}

std::vector<std::string> TRegistry::GetValueNames() {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t index = 0; RegEnumValue(current_key_, index, &name, nullptr, nullptr) == ERROR_SUCCESS;
       ++index)
    names.push_back(name);
  return names;
}

bool TRegistry::ValueExists(const std::string& name) {
  uint32_t size = 0;
  return RegQueryValueEx(current_key_, name, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const std::string& name) {
  return RegDeleteValue(current_key_, name) == ERROR_SUCCESS;
}

TRegDataType TRegistry::GetDataType(const std::string& name) {
  uint32_t type = REG_NONE;
  uint32_t size = 0;
  if (RegQueryValueEx(current_key_, name, &type, nullptr, &size) != ERROR_SUCCESS)
    return TRegDataType::rdUnknown;
  return DataTypeOf(type);
}

int TRegistry::GetDataSize(const std::string& name) {
  uint32_t size = 0;
  if (RegQueryValueEx(current_key_, name, nullptr, nullptr, &size) != ERROR_SUCCESS) return -1;
  return static_cast<int>(size);
}

std::string TRegistry::ReadString(const std::string& name) {
  const int expected = GetDataSize(name);
  if (expected <= 0) return std::string();
  std::string text(static_cast<size_t>(expected), '\0');
  uint32_t size = static_cast<uint32_t>(expected);
  uint32_t type = REG_NONE;
  if (RegQueryValueEx(current_key_, name, &type, reinterpret_cast<uint8_t*>(text.data()), &size) !=
      ERROR_SUCCESS)
    GetDataError(name);
  const TRegDataType kind = DataTypeOf(type);
  if (kind != TRegDataType::rdString && kind != TRegDataType::rdExpandString) ReadError(name);
  text.resize(size);
  if (const size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
  return text;
}

int32_t TRegistry::ReadInteger(const std::string& name) {
  // Data shorter than four bytes leaves the high bytes zero.
  uint8_t bytes[4] = {};
  uint32_t size = sizeof(bytes);
  uint32_t type = REG_NONE;
  if (RegQueryValueEx(current_key_, name, &type, bytes, &size) != ERROR_SUCCESS) GetDataError(name);
  if (DataTypeOf(type) != TRegDataType::rdInteger) ReadError(name);
  const uint32_t value =
      bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
  return static_cast<int32_t>(value);
}

bool TRegistry::ReadBool(const std::string& name) {
  return ReadInteger(name) != 0;
}

void TRegistry::PutData(const std::string& name, const std::string& data, uint32_t type) {
  if (RegSetValueEx(current_key_, name, type, data) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  PutData(name, value + '\0', REG_SZ);
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  PutData(name, value + '\0', REG_EXPAND_SZ);
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  const char bytes[4] = {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
                         static_cast<char>((bits >> 16) & 0xFF), static_cast<char>(bits >> 24)};
  PutData(name, std::string(bytes, sizeof(bytes)), REG_DWORD);
}

void TRegistry::WriteBool(const std::string& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

}  // namespace qv
