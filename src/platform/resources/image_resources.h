// Finds a resource in the bytes of a program file: a Windows program file (PE32 or PE32+; the resource
// directory through its data directory and section table) or one of our ELF program files (the same
// directory in the ".rsrc" section, with data addresses counted from the section's start). Shared by
// the platform layers; the bytes come from a file or, for tests and fuzzing, from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qv::platform {

// Random access to the bytes of an image.
class ImageBytes {
 public:
  virtual ~ImageBytes() = default;
  virtual uint64_t Size() const = 0;
  // Copies count bytes from offset; false when they are not all inside the image or cannot be read.
  virtual bool Read(uint64_t offset, void* into, size_t count) const = 0;
};

class MemoryImageBytes final : public ImageBytes {
 public:
  explicit MemoryImageBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, void* into, size_t count) const override;

 private:
  std::span<const uint8_t> bytes_;
};

// LoadProgramResource (program_resources.h) over image bytes, with its language choice and last errors.
// Every offset and length of the image is checked before it is used, and the directory is walked to
// its fixed depth of three (type, id, language), so a damaged, looping or lying image ends in false.
bool FindImageResource(const ImageBytes& image, uint16_t type, uint16_t id, uint16_t language,
                       std::vector<uint8_t>* data);

}  // namespace qv::platform
