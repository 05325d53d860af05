// Owns a Win32 handle and closes it when it goes, as UniqueFd does a descriptor on Linux. Move-only;
// the closer says how its kind of handle goes (CloseHandle for kernel objects, FindClose for a search
// ...). Null and INVALID_HANDLE_VALUE are no handle, whichever of the two the opening call gives on
// failure. Closing keeps the thread's last error, so a call may set its failure and return while
// its owners go. Include it in the block of windows_api_win32.h, after every header of ours.
#pragma once

#include <utility>

#include "platform/os/windows_api_win32.h"

namespace qv::platform::win32 {

struct CloseHandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};

struct FindCloseCloser {
  void operator()(HANDLE handle) const { ::FindClose(handle); }
};

template <class Closer>
class UniqueHandleOf {
 public:
  UniqueHandleOf() = default;
  explicit UniqueHandleOf(HANDLE handle) : handle_(handle) {}
  UniqueHandleOf(UniqueHandleOf&& other) noexcept : handle_(other.release()) {}
  UniqueHandleOf& operator=(UniqueHandleOf&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandleOf(const UniqueHandleOf&) = delete;
  UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;
  ~UniqueHandleOf() { reset(); }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return IsHandle(handle_); }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr) {
    const HANDLE closing = std::exchange(handle_, handle);
    if (!IsHandle(closing)) return;
    const DWORD error = ::GetLastError();
    Closer()(closing);
    ::SetLastError(error);
  }
  // The address to receive a handle from a call that gives it through a pointer (OpenProcessToken
  // ...); the handle held so far is closed first.
  HANDLE* receive() {
    reset();
    return &handle_;
  }

 private:
  static bool IsHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

  HANDLE handle_ = nullptr;
};

// A kernel object's handle (a file, an event, a process, a token ...).
using UniqueHandle = UniqueHandleOf<CloseHandleCloser>;
// A search of FindFirstFile.
using UniqueFindHandle = UniqueHandleOf<FindCloseCloser>;

}  // namespace qv::platform::win32
