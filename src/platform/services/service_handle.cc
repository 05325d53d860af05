// The owner of a service control manager handle, the same on every platform: it closes the handle
// through CloseServiceHandle of the platform's implementation.
#include "platform/services/service_control.h"

namespace qv::platform {

ServiceHandle& ServiceHandle::operator=(ServiceHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.Release();
  }
  return *this;
}

SC_HANDLE ServiceHandle::Release() {
  const SC_HANDLE handle = handle_;
  handle_ = SC_HANDLE{};
  return handle;
}

void ServiceHandle::Close() {
  if (handle_ != SC_HANDLE{}) CloseServiceHandle(handle_);
  handle_ = SC_HANDLE{};
}

}  // namespace qv::platform
