// The binary layouts in which Windows program files keep their resources, shared by the resource
// reader and the build-time resource compiler. Every number is little-endian.
#pragma once

#include <cstdint>

namespace qv::platform::resource_format {

// IMAGE_RESOURCE_DIRECTORY: characteristics, time stamp, version (4 bytes), then the counts of named
// and of numbered entries (16 bits each, at 12 and 14); its entries follow it, named ones first.
inline constexpr uint32_t kDirectorySize = 16;
inline constexpr uint32_t kNamedCountOffset = 12;
inline constexpr uint32_t kIdCountOffset = 14;
// IMAGE_RESOURCE_DIRECTORY_ENTRY: name or id, then the offset of a subdirectory or data entry, both
// relative to the root directory.
inline constexpr uint32_t kDirectoryEntrySize = 8;
inline constexpr uint32_t kNameIsString = 0x80000000;
inline constexpr uint32_t kEntryIsDirectory = 0x80000000;
// IMAGE_RESOURCE_DATA_ENTRY: address of the data (an RVA in a PE image, an offset from the section's
// start in our ELF section), size, code page, reserved.
inline constexpr uint32_t kDataEntrySize = 16;

// The ELF section of our program files that holds the resource directory and its data.
inline constexpr char kElfSectionName[] = ".rsrc";

// The id under which a program file keeps its version resource (VS_VERSION_INFO) and its message table.
inline constexpr uint16_t kVersionInfoId = 1;
inline constexpr uint16_t kMessageTableId = 1;

// VS_VERSIONINFO and its children: wLength, wValueLength, wType, then the key in UTF-16 with its NUL,
// padding to 32 bits, the value, padding, the children. wValueLength counts characters for text values.
inline constexpr uint32_t kVersionNodeHeaderSize = 6;
inline constexpr uint16_t kVersionValueBinary = 0;
inline constexpr uint16_t kVersionValueText = 1;
inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr uint32_t kFixedFileInfoStrucVersion = 0x00010000;
inline constexpr uint32_t kFixedFileInfoSize = 52;

// MESSAGE_RESOURCE_DATA: the number of blocks, then blocks of (lowest id, highest id, offset of the
// first entry); an entry is its length (16 bits, header included), flags (16 bits) and the text.
inline constexpr uint32_t kMessageBlockSize = 12;
inline constexpr uint32_t kMessageEntryHeaderSize = 4;
inline constexpr uint16_t kMessageEntryAnsi = 0x0000;
inline constexpr uint16_t kMessageEntryUnicode = 0x0001;

}  // namespace qv::platform::resource_format
