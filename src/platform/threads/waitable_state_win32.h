// The state behind a waitable object on Windows: the kernel object's handle, closed when the last
// object that refers to it goes. Internal to the Win32 layer.
#pragma once

#include "platform/threads/sync.h"

#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform {

struct WaitableObject::State {
  explicit State(HANDLE object) : handle(object) {}
  win32::UniqueHandle handle;
};

}  // namespace qv::platform
