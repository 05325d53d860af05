// The process heap (GetProcessHeap, HeapAlloc, HeapFree): blocks that one thread allocates and
// another releases, such as the blocks that travel with window messages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::platform {

using HeapHandle = uintptr_t;

// HeapAlloc: fill the block with zeros.
constexpr uint32_t HEAP_ZERO_MEMORY = 0x00000008;

HeapHandle GetProcessHeap();
// A block of at least the given size (0 bytes gives a valid block too); nullptr with
// ERROR_NOT_ENOUGH_MEMORY when there is no memory, ERROR_INVALID_HANDLE for an unknown heap.
void* HeapAlloc(HeapHandle heap, uint32_t flags, size_t bytes);
// Releases a block of HeapAlloc; a null block is accepted and does nothing.
bool HeapFree(HeapHandle heap, uint32_t flags, void* block);

}  // namespace qv::platform
