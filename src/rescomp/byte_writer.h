// Little-endian writing into a growing byte buffer, for the resource compiler's binary layouts.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/errors/exception.h"

namespace qv::rescomp {

// A resource description or layout the compiler cannot accept; the message names the file and line.
QV_EXCEPTION_CLASS(EResourceError, Exception);

class ByteWriter {
 public:
  size_t Size() const { return bytes_.size(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

  void U8(uint8_t value) { bytes_.push_back(value); }
  void U16(uint16_t value) {
    U8(static_cast<uint8_t>(value));
    U8(static_cast<uint8_t>(value >> 8));
  }
  void U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    U16(static_cast<uint16_t>(value >> 16));
  }
  void U64(uint64_t value) {
    U32(static_cast<uint32_t>(value));
    U32(static_cast<uint32_t>(value >> 32));
  }
  void Append(std::span<const uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  void Append(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
  void AppendUtf16(std::u16string_view text) {
    for (const char16_t c : text) U16(c);
  }
  void Zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  // Pads with zeros to a multiple of alignment.
  void Align(size_t alignment) { Zeros((alignment - bytes_.size() % alignment) % alignment); }

  void PatchU16(size_t at, uint16_t value) {
    bytes_[at] = static_cast<uint8_t>(value);
    bytes_[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  void PatchU32(size_t at, uint32_t value) {
    PatchU16(at, static_cast<uint16_t>(value));
    PatchU16(at + 2, static_cast<uint16_t>(value >> 16));
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace qv::rescomp
