#include <cstdlib>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/heap.h"

namespace qv::platform {

namespace {
constexpr HeapHandle kProcessHeap = 0x00150000;
}

HeapHandle GetProcessHeap() {
  return kProcessHeap;
}

void* HeapAlloc(HeapHandle heap, uint32_t flags, size_t bytes) {
  if (heap != kProcessHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const size_t size = bytes == 0 ? 1 : bytes;
  void* block = (flags & HEAP_ZERO_MEMORY) != 0 ? std::calloc(1, size) : std::malloc(size);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

bool HeapFree(HeapHandle heap, uint32_t flags, void* block) {
  if (heap != kProcessHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  std::free(block);
  return true;
}

}  // namespace qv::platform
