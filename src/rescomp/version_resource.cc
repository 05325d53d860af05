#include "rescomp/version_resource.h"

#include <cstdio>

#include "platform/resources/resource_format.h"
#include "platform/text/code_page.h"
#include "rescomp/byte_writer.h"

namespace qv::rescomp {

namespace fmt = platform::resource_format;

VersionNode VersionNode::Block(std::string key, std::vector<VersionNode> children) {
  VersionNode node;
  node.key = std::move(key);
  node.value_type = fmt::kVersionValueText;
  node.children = std::move(children);
  return node;
}

VersionNode VersionNode::Text(std::string key, const std::string& ansi_text) {
  VersionNode node;
  node.key = std::move(key);
  node.value_type = fmt::kVersionValueText;
  ByteWriter value;
  value.AppendUtf16(platform::AnsiToWide(ansi_text));
  value.U16(0);
  node.value = value.Take();
  if (node.value.size() / 2 > UINT16_MAX) throw EResourceError("version value too long: " + node.key);
  node.value_length = static_cast<uint16_t>(node.value.size() / 2);
  return node;
}

VersionNode VersionNode::Binary(std::string key, std::vector<uint8_t> bytes) {
  VersionNode node;
  node.key = std::move(key);
  node.value_type = fmt::kVersionValueBinary;
  if (bytes.size() > UINT16_MAX) throw EResourceError("version value too long: " + node.key);
  node.value_length = static_cast<uint16_t>(bytes.size());
  node.value = std::move(bytes);
  return node;
}

std::vector<uint8_t> EncodeVersionNode(const VersionNode& node) {
  ByteWriter out;
  out.U16(0);  // wLength, filled in at the end
  out.U16(node.value_length);
  out.U16(node.value_type);
  out.AppendUtf16(platform::AnsiToWide(node.key));
  out.U16(0);
  out.Align(4);
  out.Append(node.value);
  for (const VersionNode& child : node.children) {
    out.Align(4);
    out.Append(EncodeVersionNode(child));
  }
  if (out.Size() > UINT16_MAX) throw EResourceError("version block too long: " + node.key);
  out.PatchU16(0, static_cast<uint16_t>(out.Size()));
  return out.Take();
}

std::vector<uint8_t> BuildVersionResource(const FixedFileInfo& fixed, std::vector<VersionNode> blocks) {
  ByteWriter info;
  auto most_least = [&info](const std::array<uint16_t, 4>& v) {
    info.U32((static_cast<uint32_t>(v[0]) << 16) | v[1]);
    info.U32((static_cast<uint32_t>(v[2]) << 16) | v[3]);
  };
  info.U32(fmt::kFixedFileInfoSignature);
  info.U32(fmt::kFixedFileInfoStrucVersion);
  most_least(fixed.file_version);
  most_least(fixed.product_version);
  info.U32(fixed.flags_mask);
  info.U32(fixed.flags);
  info.U32(fixed.os);
  info.U32(fixed.file_type);
  info.U32(fixed.file_subtype);
  info.U32(0);  // file date, most and least significant parts
  info.U32(0);
  VersionNode root = VersionNode::Binary("VS_VERSION_INFO", info.Take());
  root.children = std::move(blocks);
  return EncodeVersionNode(root);
}

std::vector<VersionNode> StringTableBlocks(uint16_t language, uint16_t code_page,
                                           const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<VersionNode> strings;
  for (const auto& [key, text] : values) strings.push_back(VersionNode::Text(key, text));
  char table_key[16];
  std::snprintf(table_key, sizeof(table_key), "%04X%04X", language, code_page);
  ByteWriter translation;
  translation.U16(language);
  translation.U16(code_page);
  std::vector<VersionNode> blocks;
  blocks.push_back(VersionNode::Block("StringFileInfo", {VersionNode::Block(table_key, std::move(strings))}));
  blocks.push_back(
      VersionNode::Block("VarFileInfo", {VersionNode::Binary("Translation", translation.Take())}));
  return blocks;
}

}  // namespace qv::rescomp
