#include "platform/errors/win_error.h"
#include "platform/process/heap.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

::HANDLE SystemHeap(HeapHandle heap) {
  return reinterpret_cast<::HANDLE>(heap);
}

}  // namespace

HeapHandle GetProcessHeap() {
  return reinterpret_cast<HeapHandle>(::GetProcessHeap());
}

// Only the process heap is known: the system would crash on a handle that is no heap.
void* HeapAlloc(HeapHandle heap, uint32_t flags, size_t bytes) {
  if (heap != GetProcessHeap()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* block = ::HeapAlloc(SystemHeap(heap), flags & HEAP_ZERO_MEMORY, bytes);
  if (block == nullptr) ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);  // HeapAlloc itself does not say
  return block;
}

bool HeapFree(HeapHandle heap, uint32_t flags, void* block) {
  if (heap != GetProcessHeap()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (block == nullptr) return true;
  return ::HeapFree(SystemHeap(heap), 0, block) != 0;
}

}  // namespace qv::platform
