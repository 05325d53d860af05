#include "rescomp/resource_section.h"

#include <map>

#include "platform/resources/resource_format.h"
#include "rescomp/byte_writer.h"

namespace qv::rescomp {

namespace fmt = platform::resource_format;

namespace {

// type -> id -> language -> index into the resources
using Tree = std::map<uint16_t, std::map<uint16_t, std::map<uint16_t, size_t>>>;

void WriteDirectoryHeader(ByteWriter* out, size_t id_entries) {
  out->Zeros(fmt::kIdCountOffset);  // characteristics, time stamp, version, named entries: all 0
  out->U16(static_cast<uint16_t>(id_entries));
}

}  // namespace

std::vector<uint8_t> BuildResourceSection(const std::vector<Resource>& resources, uint32_t data_base) {
  Tree tree;
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    if (!tree[r.type][r.id].emplace(r.language, i).second) {
      throw EResourceError("duplicate resource: type " + std::to_string(r.type) + ", id " +
                           std::to_string(r.id) + ", language " + std::to_string(r.language));
    }
  }

  // Offsets of every directory, laid out breadth first: the root, the id directories of each type,
  // the language directories of each id; then the data entries, then the data.
  auto directory_size = [](size_t entries) {
    return fmt::kDirectorySize + entries * fmt::kDirectoryEntrySize;
  };
  size_t next = directory_size(tree.size());
  std::map<uint16_t, size_t> id_directory_at;
  for (const auto& [type, ids] : tree) {
    id_directory_at[type] = next;
    next += directory_size(ids.size());
  }
  std::map<std::pair<uint16_t, uint16_t>, size_t> language_directory_at;
  for (const auto& [type, ids] : tree) {
    for (const auto& [id, languages] : ids) {
      language_directory_at[{type, id}] = next;
      next += directory_size(languages.size());
    }
  }
  std::vector<size_t> data_entry_at(resources.size());
  for (const auto& [type, ids] : tree) {
    for (const auto& [id, languages] : ids) {
      for (const auto& [language, index] : languages) {
        data_entry_at[index] = next;
        next += fmt::kDataEntrySize;
      }
    }
  }

  ByteWriter out;
  WriteDirectoryHeader(&out, tree.size());
  for (const auto& [type, ids] : tree) {
    out.U32(type);
    out.U32(static_cast<uint32_t>(id_directory_at[type]) | fmt::kEntryIsDirectory);
  }
  for (const auto& [type, ids] : tree) {
    WriteDirectoryHeader(&out, ids.size());
    for (const auto& [id, languages] : ids) {
      out.U32(id);
      out.U32(static_cast<uint32_t>(language_directory_at[{type, id}]) | fmt::kEntryIsDirectory);
    }
  }
  for (const auto& [type, ids] : tree) {
    for (const auto& [id, languages] : ids) {
      WriteDirectoryHeader(&out, languages.size());
      for (const auto& [language, index] : languages) {
        out.U32(language);
        out.U32(static_cast<uint32_t>(data_entry_at[index]));
      }
    }
  }
  // Where each data entry's address is to be filled in, and the resource it stands for.
  std::vector<std::pair<size_t, size_t>> data_entries;
  for (const auto& [type, ids] : tree) {
    for (const auto& [id, languages] : ids) {
      for (const auto& [language, index] : languages) {
        data_entries.emplace_back(out.Size(), index);
        out.U32(0);  // the data's address, filled in below
        out.U32(static_cast<uint32_t>(resources[index].data.size()));
        out.U32(0);  // code page
        out.U32(0);
      }
    }
  }
  for (const auto& [entry, index] : data_entries) {
    out.Align(8);
    out.PatchU32(entry, data_base + static_cast<uint32_t>(out.Size()));
    out.Append(resources[index].data);
  }
  out.Align(8);
  return out.Take();
}

}  // namespace qv::rescomp
