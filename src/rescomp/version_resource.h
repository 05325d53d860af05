// The version resource (VS_VERSIONINFO) of a program file: the fixed file information and a tree of
// blocks and values (StringFileInfo with its string tables, VarFileInfo with Translation).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::rescomp {

// One node of the tree as it is written: a block (children, no value), a text value or a binary value.
struct VersionNode {
  std::string key;             // ANSI; written in UTF-16
  uint16_t value_type = 1;     // 1 text, 0 binary (wType)
  std::vector<uint8_t> value;  // the value's bytes as written (UTF-16 text with its NUL, or binary)
  uint16_t value_length = 0;   // wValueLength: characters for text, bytes for binary
  std::vector<VersionNode> children;

  static VersionNode Block(std::string key, std::vector<VersionNode> children);
  // A text value, NUL-terminated; wValueLength counts the NUL.
  static VersionNode Text(std::string key, const std::string& ansi_text);
  static VersionNode Binary(std::string key, std::vector<uint8_t> bytes);
};

// VS_FIXEDFILEINFO.
struct FixedFileInfo {
  std::array<uint16_t, 4> file_version{};  // most significant part first: 5, 5, 2653, 23
  std::array<uint16_t, 4> product_version{};
  uint32_t flags_mask = 0x3F;
  uint32_t flags = 0;
  uint32_t os = 0x00040004;  // VOS_NT_WINDOWS32
  uint32_t file_type = 1;    // VFT_APP
  uint32_t file_subtype = 0;
};

// The bytes of one node with its children, 32-bit aligned inside; EResourceError when it outgrows
// the 16-bit length.
std::vector<uint8_t> EncodeVersionNode(const VersionNode& node);

// The whole resource: the "VS_VERSION_INFO" root with the fixed information and the given blocks.
std::vector<uint8_t> BuildVersionResource(const FixedFileInfo& fixed, std::vector<VersionNode> blocks);

// The blocks of a common version resource: one string table for the language and code page, its
// values in order, and the Translation value with that one pair.
std::vector<VersionNode> StringTableBlocks(uint16_t language, uint16_t code_page,
                                           const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace qv::rescomp
