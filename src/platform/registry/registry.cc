// The parts of the registry interface that stand on the Win32-shaped calls alone: the value-buffer
// protocol of RegQueryValueEx and RegSetValueEx over each platform's whole-value forms, and the key
// owner.
#include "platform/registry/registry.h"

#include <cstring>
#include <utility>

#include "platform/errors/win_error.h"

namespace qv::platform {

uint32_t RegQueryValueEx(HKEY key, const std::string& value_name, uint32_t* type, uint8_t* data,
                         uint32_t* data_size) {
  if (data != nullptr && data_size == nullptr) return ERROR_INVALID_PARAMETER;
  std::string value;
  if (const uint32_t code = RegQueryValueEx(key, value_name, type, &value); code != ERROR_SUCCESS)
    return code;
  const auto size = static_cast<uint32_t>(value.size());
  if (data == nullptr) {
    if (data_size != nullptr) *data_size = size;
    return ERROR_SUCCESS;
  }
  const uint32_t room = *data_size;
  *data_size = size;
  if (room < size) return ERROR_MORE_DATA;
  if (size > 0) std::memcpy(data, value.data(), size);
  return ERROR_SUCCESS;
}

uint32_t RegSetValueEx(HKEY key, const std::string& value_name, uint32_t type, const uint8_t* data,
                       uint32_t data_size) {
  if (data == nullptr && data_size != 0) return ERROR_NOACCESS;
  const std::string bytes(reinterpret_cast<const char*>(data), data == nullptr ? 0 : data_size);
  return RegSetValueEx(key, value_name, type, bytes);
}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this != &other) {
    Close();
    key_ = other.Release();
  }
  return *this;
}

HKEY* RegKey::Receive() {
  Close();
  return &key_;
}

HKEY RegKey::Release() {
  return std::exchange(key_, HKEY{});
}

void RegKey::Close() {
  if (key_ != HKEY{}) RegCloseKey(std::exchange(key_, HKEY{}));
}

}  // namespace qv::platform
