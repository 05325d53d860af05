#include "itc/itc_message_block.h"

#include <algorithm>
#include <cstring>

#include "platform/process/heap.h"

namespace qv {

void* ItcMessageBlock::Allocate(const std::string& sender_name, const void* data, uint32_t size) {
  const size_t total = kDataOffset + static_cast<size_t>(size);
  // No data address: the payload is zeros rather than whatever the heap held before.
  const uint32_t flags = data == nullptr ? platform::HEAP_ZERO_MEMORY : 0;
  auto* block = static_cast<uint8_t*>(platform::HeapAlloc(platform::GetProcessHeap(), flags, total));
  if (block == nullptr) return nullptr;
  std::memset(block + kSenderNameOffset, 0, kSenderNameSize);
  std::memcpy(block + kSenderNameOffset, sender_name.data(),
              std::min(sender_name.size(), kSenderNameSize - 1));
  for (int i = 0; i < 4; ++i) block[kDataSizeOffset + i] = static_cast<uint8_t>(size >> (8 * i));
  if (data != nullptr && size > 0) std::memcpy(block + kDataOffset, data, size);
  return block;
}

void ItcMessageBlock::Free(void* block) {
  if (block != nullptr) platform::HeapFree(platform::GetProcessHeap(), 0, block);
}

std::string ItcMessageBlock::SenderName(const void* block) {
  const auto* name = static_cast<const char*>(block) + kSenderNameOffset;
  const void* terminator = std::memchr(name, 0, kSenderNameSize);
  const size_t length = terminator == nullptr ? kSenderNameSize : static_cast<const char*>(terminator) - name;
  return std::string(name, length);
}

uint32_t ItcMessageBlock::DataSize(const void* block) {
  const auto* bytes = static_cast<const uint8_t*>(block) + kDataSizeOffset;
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

const void* ItcMessageBlock::Data(const void* block) {
  return static_cast<const uint8_t*>(block) + kDataOffset;
}

}  // namespace qv
