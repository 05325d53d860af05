#include "platform/services/service_entry_posix.h"

#include <vector>

#include "platform/errors/win_error.h"
#include "platform/registry/registry.h"

namespace qv::platform::posix {

namespace {

std::string KeyPath(const std::string& name) {
  return std::string(kServicesKey) + "\\" + name;
}

std::string ReadText(HKEY key, const std::string& value) {
  uint32_t type = 0;
  std::string data;
  if (RegQueryValueEx(key, value, &type, &data) != ERROR_SUCCESS) return std::string();
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
  const size_t end = data.find('\0');
  return end == std::string::npos ? data : data.substr(0, end);
}

uint32_t ReadDword(HKEY key, const std::string& value) {
  uint32_t type = 0;
  std::string data;
  if (RegQueryValueEx(key, value, &type, &data) != ERROR_SUCCESS || type != REG_DWORD || data.size() != 4)
    return 0;
  return static_cast<uint32_t>(static_cast<uint8_t>(data[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(data[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(data[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(data[3])) << 24;
}

std::string Dword(uint32_t value) {
  return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                     static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
}

std::string Text(const std::string& value) {
  return value + std::string(1, '\0');
}

// Deletes a key after everything below it (RegDeleteKey takes keys without sub-keys only).
uint32_t DeleteTree(HKEY parent, const std::string& name) {
  RegKey key;
  uint32_t code = RegOpenKeyEx(parent, name, 0, KEY_ALL_ACCESS, key.Receive());
  if (code != ERROR_SUCCESS) return code;
  for (;;) {
    std::string child;
    code = RegEnumKeyEx(key.Get(), 0, &child);
    if (code == ERROR_NO_MORE_ITEMS) break;
    if (code != ERROR_SUCCESS) return code;
    if ((code = DeleteTree(key.Get(), child)) != ERROR_SUCCESS) return code;
  }
  key.Close();
  return RegDeleteKey(parent, name);
}

}  // namespace

uint32_t ReadServiceEntry(const std::string& name, ServiceEntry* entry) {
  RegKey key;
  const uint32_t code = RegOpenKeyEx(HKEY_LOCAL_MACHINE, KeyPath(name), 0, KEY_READ, key.Receive());
  if (code == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (code != ERROR_SUCCESS) return code;
  entry->Name = name;
  entry->DisplayName = ReadText(key.Get(), "DisplayName");
  entry->ImagePath = ReadText(key.Get(), "ImagePath");
  entry->ObjectName = ReadText(key.Get(), "ObjectName");
  entry->Type = ReadDword(key.Get(), "Type");
  entry->Start = ReadDword(key.Get(), "Start");
  entry->ErrorControl = ReadDword(key.Get(), "ErrorControl");
  entry->MarkedForDelete = ReadDword(key.Get(), "DeleteFlag") != 0;
  return ERROR_SUCCESS;
}

uint32_t CreateServiceEntry(const ServiceEntry& entry) {
  RegKey key;
  uint32_t disposition = 0;
  uint32_t code =
      RegCreateKeyEx(HKEY_LOCAL_MACHINE, KeyPath(entry.Name), 0, KEY_ALL_ACCESS, key.Receive(), &disposition);
  if (code != ERROR_SUCCESS) return code;
  if (disposition != REG_CREATED_NEW_KEY) return ERROR_SERVICE_EXISTS;
  const std::vector<std::pair<std::pair<std::string, uint32_t>, std::string>> values = {
      {{"Type", REG_DWORD}, Dword(entry.Type)},
      {{"Start", REG_DWORD}, Dword(entry.Start)},
      {{"ErrorControl", REG_DWORD}, Dword(entry.ErrorControl)},
      {{"ImagePath", REG_EXPAND_SZ}, Text(entry.ImagePath)},
      {{"DisplayName", REG_SZ}, Text(entry.DisplayName)},
      {{"ObjectName", REG_SZ}, Text(entry.ObjectName)},
  };
  for (const auto& [name_and_type, data] : values) {
    code = RegSetValueEx(key.Get(), name_and_type.first, name_and_type.second, data);
    if (code != ERROR_SUCCESS) {
      key.Close();
      DeleteServiceEntry(entry.Name);
      return code;
    }
  }
  return ERROR_SUCCESS;
}

uint32_t DeleteServiceEntry(const std::string& name) {
  RegKey services;
  const uint32_t code = RegOpenKeyEx(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_ALL_ACCESS, services.Receive());
  if (code == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (code != ERROR_SUCCESS) return code;
  const uint32_t deleted = DeleteTree(services.Get(), name);
  return deleted == ERROR_FILE_NOT_FOUND ? ERROR_SERVICE_DOES_NOT_EXIST : deleted;
}

uint32_t MarkServiceEntryForDelete(const std::string& name) {
  RegKey key;
  const uint32_t code = RegOpenKeyEx(HKEY_LOCAL_MACHINE, KeyPath(name), 0, KEY_SET_VALUE, key.Receive());
  if (code == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (code != ERROR_SUCCESS) return code;
  return RegSetValueEx(key.Get(), "DeleteFlag", REG_DWORD, Dword(1));
}

}  // namespace qv::platform::posix
