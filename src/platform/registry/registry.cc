// The parts of the registry interface that stand on the Win32-shaped calls alone.
#include "platform/registry/registry.h"

#include <utility>

#include "platform/errors/win_error.h"

namespace qv::platform {

uint32_t RegQueryValueEx(HKEY key, const std::string& value_name, uint32_t* type, std::string* data) {
  // The value may grow between asking for its size and reading it: ask again until it fits.
  for (;;) {
    uint32_t size = 0;
    uint32_t code = RegQueryValueEx(key, value_name, type, nullptr, &size);
    if (code != ERROR_SUCCESS) return code;
    if (data == nullptr) return ERROR_SUCCESS;
    data->assign(size, '\0');
    code = RegQueryValueEx(key, value_name, type, reinterpret_cast<uint8_t*>(data->data()), &size);
    if (code == ERROR_MORE_DATA) continue;
    if (code == ERROR_SUCCESS) data->resize(size);
    return code;
  }
}

uint32_t RegSetValueEx(HKEY key, const std::string& value_name, uint32_t type, const std::string& data) {
  return RegSetValueEx(key, value_name, type, reinterpret_cast<const uint8_t*>(data.data()),
                       static_cast<uint32_t>(data.size()));
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
