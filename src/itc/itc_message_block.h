// The block that carries one ITC event through a window message: allocated from the process heap by
// the sender, released by the receiving side. Layout (integers little-endian):
//   offset 0, 64 bytes   SenderName: the sending endpoint's name, NUL-terminated (63 characters at most)
//   offset 64, 4 bytes   DataSize: the payload length
//   offset 68            the payload, DataSize bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

struct ItcMessageBlock {
  static constexpr size_t kSenderNameOffset = 0;
  static constexpr size_t kSenderNameSize = 64;
  static constexpr size_t kDataSizeOffset = 64;
  static constexpr size_t kDataOffset = 68;

  // A new block holding the sender's name and a copy of the payload, or nullptr when the heap has no
  // room. Without a data address the payload area is filled with zeros.
  static void* Allocate(const std::string& sender_name, const void* data, uint32_t size);
  static void Free(void* block);

  static std::string SenderName(const void* block);
  static uint32_t DataSize(const void* block);
  // The payload inside the block.
  static const void* Data(const void* block);
};

// Releases a block when it goes, unless told to let it go.
class ItcMessageBlockOwner {
 public:
  explicit ItcMessageBlockOwner(void* block) : block_(block) {}
  ItcMessageBlockOwner(const ItcMessageBlockOwner&) = delete;
  ItcMessageBlockOwner& operator=(const ItcMessageBlockOwner&) = delete;
  ~ItcMessageBlockOwner() { ItcMessageBlock::Free(block_); }
  void* Release() {
    void* block = block_;
    block_ = nullptr;
    return block;
  }

 private:
  void* block_;
};

}  // namespace qv
