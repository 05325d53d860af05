#include "platform/message_table/message_table.h"

#include <vector>

#include "platform/process/module.h"
#include "platform/resources/program_resources.h"
#include "platform/resources/resource_format.h"
#include "platform/text/code_page.h"

namespace qv::platform {

namespace fmt = resource_format;

namespace {

uint16_t Le16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
  return Le16(bytes, at) | (static_cast<uint32_t>(Le16(bytes, at + 2)) << 16);
}

// The text of the entry at offset, up to its first NUL.
bool EntryText(std::span<const uint8_t> table, size_t offset, uint16_t length, std::string* text) {
  const uint16_t flags = Le16(table, offset + 2);
  const std::span<const uint8_t> body =
      table.subspan(offset + fmt::kMessageEntryHeaderSize, length - fmt::kMessageEntryHeaderSize);
  if (flags == fmt::kMessageEntryAnsi) {
    size_t end = 0;
    while (end < body.size() && body[end] != 0) ++end;
    text->assign(reinterpret_cast<const char*>(body.data()), end);
    return true;
  }
  if (flags == fmt::kMessageEntryUnicode) {
    std::u16string wide;
    for (size_t i = 0; i + 1 < body.size(); i += 2) {
      const char16_t c = Le16(body, i);
      if (c == 0) break;
      wide += c;
    }
    *text = WideToAnsi(wide);
    return true;
  }
  return false;
}

}  // namespace

bool FindMessageText(std::span<const uint8_t> table, uint32_t message_id, std::string* text) {
  if (table.size() < 4) return false;
  const uint32_t block_count = Le32(table, 0);
  if (block_count > (table.size() - 4) / fmt::kMessageBlockSize) return false;
  for (size_t block = 0; block < block_count; ++block) {
    const size_t at = 4 + block * fmt::kMessageBlockSize;
    const uint32_t low = Le32(table, at);
    const uint32_t high = Le32(table, at + 4);
    if (message_id < low || message_id > high) continue;
    // The entries of the block follow each other; walk to the wanted one. Every step moves at least
    // one entry header on, so a lying id range ends at the end of the table.
    size_t offset = Le32(table, at + 8);
    for (uint32_t skip = message_id - low;; --skip) {
      if (offset > table.size() || table.size() - offset < fmt::kMessageEntryHeaderSize) return false;
      const uint16_t length = Le16(table, offset);
      if (length < fmt::kMessageEntryHeaderSize || length > table.size() - offset) return false;
      if (skip == 0) return EntryText(table, offset, length, text);
      offset += length;
    }
  }
  return false;
}

bool LoadMessageText(const std::string& program_path, uint32_t message_id, std::string* text) {
  const std::string file = program_path.empty() ? GetModuleFileName() : program_path;
  std::vector<uint8_t> table;
  if (!LoadProgramResource(file, kResourceTypeMessageTable, fmt::kMessageTableId, kLanguageEnglishUs,
                           &table) &&
      !LoadProgramResource(file, kResourceTypeMessageTable, fmt::kMessageTableId, kLanguageNeutral, &table)) {
    return false;
  }
  return FindMessageText(table, message_id, text);
}

}  // namespace qv::platform
