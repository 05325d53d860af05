// VerQueryValue: the walk of a VS_VERSIONINFO tree, shared by the platform layers. The block is
// untrusted (it may come from any file, or from a caller), so every length is checked against it: a
// lying length makes the path not found, never a read outside the block. Keys compare without regard
// to case, and text values come back in the ANSI code page.
#include <algorithm>
#include <optional>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/resources/file_version.h"
#include "platform/resources/resource_format.h"
#include "platform/text/ascii_text.h"
#include "platform/text/code_page.h"

namespace qv::platform {

namespace fmt = resource_format;

namespace {

uint16_t Le16(std::span<const uint8_t> block, size_t at) {
  return static_cast<uint16_t>(block[at] | (block[at + 1] << 8));
}

size_t Align4(size_t offset) {
  return (offset + 3) & ~size_t{3};
}

// One node of the tree: its key, where its value lies and where its children begin and end.
struct VersionNode {
  std::u16string key;
  bool text = false;
  size_t value_at = 0;
  size_t value_size = 0;  // bytes, cut to the node
  size_t children_at = 0;
  size_t end = 0;
};

// The node at offset, which must end by limit; nothing when it does not fit or has no key.
std::optional<VersionNode> ReadNode(std::span<const uint8_t> block, size_t offset, size_t limit) {
  if (offset > limit || limit - offset < fmt::kVersionNodeHeaderSize) return std::nullopt;
  const uint16_t length = Le16(block, offset);
  if (length < fmt::kVersionNodeHeaderSize || length > limit - offset) return std::nullopt;
  VersionNode node;
  node.end = offset + length;
  const uint16_t value_length = Le16(block, offset + 2);
  node.text = Le16(block, offset + 4) == fmt::kVersionValueText;

  size_t at = offset + fmt::kVersionNodeHeaderSize;
  for (;; at += 2) {
    if (node.end - at < 2) return std::nullopt;  // the key has no end inside the node
    const char16_t c = Le16(block, at);
    if (c == 0) break;
    node.key += c;
  }
  node.value_at = std::min(Align4(at + 2), node.end);
  const size_t wanted = node.text ? size_t{value_length} * 2 : value_length;
  node.value_size = std::min(wanted, node.end - node.value_at);
  node.children_at = std::min(Align4(node.value_at + node.value_size), node.end);
  return node;
}

bool SameKey(const std::u16string& key, const std::string& wanted) {
  const std::string ansi = WideToAnsi(key);
  if (ansi.size() != wanted.size()) return false;
  for (size_t i = 0; i < ansi.size(); ++i) {
    if (AsciiLower(ansi[i]) != AsciiLower(wanted[i])) return false;
  }
  return true;
}

std::optional<VersionNode> FindChild(std::span<const uint8_t> block, const VersionNode& parent,
                                     const std::string& key) {
  size_t at = parent.children_at;
  while (at < parent.end) {
    const std::optional<VersionNode> child = ReadNode(block, at, parent.end);
    if (!child) return std::nullopt;
    if (SameKey(child->key, key)) return child;
    at = Align4(child->end);  // every node is at least a header long, so this always moves on
  }
  return std::nullopt;
}

}  // namespace

bool VerQueryValue(std::span<const uint8_t> block, const std::string& sub_block, std::string* value) {
  std::optional<VersionNode> node = ReadNode(block, 0, block.size());
  size_t start = 0;
  while (node && start < sub_block.size()) {
    const size_t cut = std::min(sub_block.find('\\', start), sub_block.size());
    if (cut > start) node = FindChild(block, *node, sub_block.substr(start, cut - start));
    start = cut + 1;
  }
  if (!node) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return false;
  }
  const auto* bytes = block.data() + node->value_at;
  if (node->text) {
    std::u16string text;
    for (size_t i = 0; i + 1 < node->value_size; i += 2)
      text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    *value = WideToAnsi(text);
  } else {
    value->assign(reinterpret_cast<const char*>(bytes), node->value_size);
  }
  return true;
}

}  // namespace qv::platform
