#include "rescomp/message_table_builder.h"

#include "platform/resources/resource_format.h"
#include "rescomp/byte_writer.h"

namespace qv::rescomp {

namespace fmt = platform::resource_format;

std::vector<uint8_t> BuildMessageTable(const std::map<uint32_t, std::string>& messages) {
  // Runs of consecutive ids: (lowest, highest).
  std::vector<std::pair<uint32_t, uint32_t>> runs;
  for (const auto& [id, text] : messages) {
    if (!runs.empty() && runs.back().second != UINT32_MAX && runs.back().second + 1 == id) {
      runs.back().second = id;
    } else {
      runs.emplace_back(id, id);
    }
  }

  ByteWriter out;
  out.U32(static_cast<uint32_t>(runs.size()));
  std::vector<size_t> entries_offset_at;
  for (const auto& [low, high] : runs) {
    out.U32(low);
    out.U32(high);
    entries_offset_at.push_back(out.Size());
    out.U32(0);  // offset of the block's first entry, filled in below
  }
  auto message = messages.begin();
  for (size_t run = 0; run < runs.size(); ++run) {
    out.PatchU32(entries_offset_at[run], static_cast<uint32_t>(out.Size()));
    for (uint64_t id = runs[run].first; id <= runs[run].second; ++id, ++message) {
      const std::string& text = message->second;
      const size_t length = (fmt::kMessageEntryHeaderSize + text.size() + 1 + 3) & ~size_t{3};
      if (length > UINT16_MAX)
        throw EResourceError("message " + std::to_string(message->first) + " is too long");
      const size_t start = out.Size();
      out.U16(static_cast<uint16_t>(length));
      out.U16(fmt::kMessageEntryAnsi);
      out.Append(text);
      out.Zeros(length - (out.Size() - start));
    }
  }
  return out.Take();
}

}  // namespace qv::rescomp
