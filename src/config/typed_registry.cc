#include "config/typed_registry.h"

#include "platform/errors/win_error.h"

namespace qv {

using namespace platform;

void RaiseWin32Error(uint32_t code) {
  if (code == ERROR_SUCCESS) throw EWin32Error("A Win32 API function failed", code);
  std::string text;
  FormatSystemMessage(code, &text);
  throw EWin32Error("Win32 Error.  Code: " + std::to_string(code) + ".\n" + text, code);
}

template <class Value, class Reader, class Writer>
Value TVeskRegistry::ReadDef(const std::string& name, const Value& default_value, TRegDataType expected,
                             Reader read, Writer write) {
  {
    KeyCloser closer(*this);
    if (OpenRegKey(KeyPath, false) && ValueExists(name)) {
      if (GetDataType(name) == expected) return read(name);
      // A mistyped value makes way for the default, but only when the default is going to be stored.
      if (WriteDefaults) DeleteValue(name);
    }
  }
  if (WriteDefaults) write(name, default_value);
  CloseKey();
  return default_value;
}

std::string TVeskRegistry::ReadStringDef(const std::string& name, const std::string& default_value) {
  return ReadDef(
      name, default_value, TRegDataType::rdString, [this](const std::string& n) { return ReadString(n); },
      [this](const std::string& n, const std::string& v) { PutString(n, v); });
}

int32_t TVeskRegistry::ReadIntegerDef(const std::string& name, int32_t default_value) {
  return ReadDef(
      name, default_value, TRegDataType::rdInteger, [this](const std::string& n) { return ReadInteger(n); },
      [this](const std::string& n, int32_t v) { PutInteger(n, v); });
}

bool TVeskRegistry::ReadBoolDef(const std::string& name, bool default_value) {
  return ReadDef(
      name, default_value, TRegDataType::rdInteger, [this](const std::string& n) { return ReadBool(n); },
      [this](const std::string& n, bool v) { PutBool(n, v); });
}

void TVeskRegistry::ReadStringListDef(const std::string& name, std::vector<std::string>* list) {
  Assert(list != nullptr, "ReadStringListDef needs a list");
  {
    KeyCloser closer(*this);
    if (OpenRegKey(KeyPath, false) && ValueExists(name)) {
      uint32_t type = REG_NONE;
      uint32_t size = 0;
      if (const uint32_t code = RegQueryValueEx(CurrentKey(), name, &type, nullptr, &size);
          code != ERROR_SUCCESS)
        RaiseWin32Error(code);
      if (type == REG_MULTI_SZ) {
        if (size == 0) {
          list->clear();
          return;
        }
        std::string bytes;
        if (const uint32_t code = RegQueryValueEx(CurrentKey(), name, &type, &bytes); code != ERROR_SUCCESS)
          RaiseWin32Error(code);
        UnpackStrings(&bytes, list);
        return;
      }
      if (WriteDefaults) DeleteValue(name);
    }
  }
  if (WriteDefaults) PutStringList(name, list);
  CloseKey();
}

void TVeskRegistry::PutString(const std::string& name, const std::string& value) {
  KeyCloser closer(*this);
  if (OpenRegKey(KeyPath, true)) WriteString(name, value);
}

void TVeskRegistry::PutInteger(const std::string& name, int32_t value) {
  KeyCloser closer(*this);
  if (OpenRegKey(KeyPath, true)) WriteInteger(name, value);
}

void TVeskRegistry::PutBool(const std::string& name, bool value) {
  KeyCloser closer(*this);
  if (OpenRegKey(KeyPath, true)) WriteBool(name, value);
}

void TVeskRegistry::PutStringList(const std::string& name, const std::vector<std::string>* list) {
  const std::string packed = PackStrings(list);
  const std::string path = !KeyPath.empty() && KeyPath[0] == '\\' ? KeyPath.substr(1) : KeyPath;
  RegKey key;
  uint32_t disposition = 0;
  if (const uint32_t code = RegCreateKeyEx(RootKey(), path, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                           key.Receive(), &disposition);
      code != ERROR_SUCCESS)
    RaiseWin32Error(code);
  if (const uint32_t code = RegSetValueEx(key.Get(), name, REG_MULTI_SZ, packed); code != ERROR_SUCCESS)
    RaiseWin32Error(code);
}

std::string TVeskRegistry::PackStrings(const std::vector<std::string>* list) {
  Assert(list != nullptr, "PackStrings needs a list");
  std::string buffer;
  for (const std::string& text : *list) {
    if (text.empty()) continue;
    buffer += text;
    buffer += '\0';
  }
  buffer += '\0';
  return buffer;
}

void TVeskRegistry::UnpackStrings(const std::string* buffer, std::vector<std::string>* list) {
  Assert(list != nullptr, "UnpackStrings needs a list");
  list->clear();
  if (buffer == nullptr) return;
  // Bounded by the buffer, so that a value without its final NUL ends with the buffer.
  size_t start = 0;
  while (start < buffer->size()) {
    size_t end = buffer->find('\0', start);
    if (end == std::string::npos) end = buffer->size();
    if (end == start) break;
    list->push_back(buffer->substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace qv
