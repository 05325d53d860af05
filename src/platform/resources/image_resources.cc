#include "platform/resources/image_resources.h"

#include <cstring>
#include <optional>

#include "platform/errors/last_error.h"
#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/resources/program_resources.h"
#include "platform/resources/resource_format.h"

namespace qv::platform {

namespace fmt = resource_format;

bool MemoryImageBytes::Read(uint64_t offset, void* into, size_t count) const {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  if (count > 0) std::memcpy(into, bytes_.data() + offset, count);
  return true;
}

namespace {

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
  return Le16(p) | (static_cast<uint32_t>(Le16(p + 2)) << 16);
}
uint64_t Le64(const uint8_t* p) {
  return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}
uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(Be16(p)) << 16) | Be16(p + 2);
}
uint64_t Be64(const uint8_t* p) {
  return (static_cast<uint64_t>(Be32(p)) << 32) | Be32(p + 4);
}

// A stretch of the image as the resource directory addresses it.
struct Section {
  uint64_t address;  // RVA in a PE image; 0 for our ELF section
  uint64_t size;     // bytes present in the file
  uint64_t file_offset;
};

// Where the resource directory lives: its address and the sections that resolve addresses to file offsets.
struct ResourceLayout {
  std::vector<Section> sections;
  uint64_t directory_address = 0;
};

enum class Outcome { kFound, kNoResources, kBroken };

// The file offset of count bytes at address, when they lie wholly inside one section.
std::optional<uint64_t> FileOffsetOf(const ResourceLayout& layout, uint64_t address, uint64_t count) {
  for (const Section& section : layout.sections) {
    if (address < section.address) continue;
    const uint64_t into = address - section.address;
    if (into <= section.size && count <= section.size - into) return section.file_offset + into;
  }
  return std::nullopt;
}

bool ReadAt(const ImageBytes& image, const ResourceLayout& layout, uint64_t address, void* into,
            size_t count) {
  const std::optional<uint64_t> offset = FileOffsetOf(layout, address, count);
  return offset && image.Read(*offset, into, count);
}

// ---- Windows program files ----

Outcome LayoutOfPe(const ImageBytes& image, ResourceLayout* layout) {
  uint8_t dos[64];
  if (!image.Read(0, dos, sizeof(dos))) return Outcome::kBroken;
  const uint64_t pe = Le32(dos + 0x3C);
  uint8_t header[24];  // signature and IMAGE_FILE_HEADER
  if (!image.Read(pe, header, sizeof(header)) || std::memcmp(header, "PE\0\0", 4) != 0) {
    return Outcome::kBroken;
  }
  const uint16_t section_count = Le16(header + 6);
  const uint16_t optional_size = Le16(header + 20);

  const uint64_t optional = pe + sizeof(header);
  uint8_t magic[2];
  if (!image.Read(optional, magic, sizeof(magic))) return Outcome::kBroken;
  constexpr uint16_t kPe32 = 0x10B;
  constexpr uint16_t kPe32Plus = 0x20B;
  if (Le16(magic) != kPe32 && Le16(magic) != kPe32Plus) return Outcome::kBroken;
  // NumberOfRvaAndSizes, followed by the data directories
  const uint32_t directory_count_at = Le16(magic) == kPe32 ? 92 : 108;
  constexpr uint32_t kResourceDirectoryIndex = 2;
  const uint32_t resource_entry_at = directory_count_at + 4 + 8 * kResourceDirectoryIndex;
  uint8_t count[4];
  uint8_t resource_entry[8];
  if (optional_size < directory_count_at + 4 || !image.Read(optional + directory_count_at, count, 4)) {
    return Outcome::kBroken;
  }
  if (Le32(count) <= kResourceDirectoryIndex || optional_size < resource_entry_at + 8) {
    return Outcome::kNoResources;
  }
  if (!image.Read(optional + resource_entry_at, resource_entry, sizeof(resource_entry))) {
    return Outcome::kBroken;
  }
  layout->directory_address = Le32(resource_entry);
  if (layout->directory_address == 0) return Outcome::kNoResources;

  constexpr size_t kSectionHeaderSize = 40;
  const uint64_t table_at = optional + optional_size;
  const size_t table_size = size_t{section_count} * kSectionHeaderSize;
  if (table_at > image.Size() || table_size > image.Size() - table_at) return Outcome::kBroken;
  std::vector<uint8_t> table(table_size);
  if (!image.Read(table_at, table.data(), table.size())) return Outcome::kBroken;
  for (size_t i = 0; i < section_count; ++i) {
    const uint8_t* entry = table.data() + i * kSectionHeaderSize;
    const uint32_t virtual_size = Le32(entry + 8);
    const uint64_t raw_offset = Le32(entry + 20);
    uint64_t size = Le32(entry + 16);  // the bytes in the file; what lies beyond them is not in the file
    if (virtual_size != 0 && virtual_size < size) size = virtual_size;
    if (raw_offset >= image.Size()) continue;
    if (size > image.Size() - raw_offset) size = image.Size() - raw_offset;
    layout->sections.push_back({Le32(entry + 12), size, raw_offset});
  }
  return Outcome::kFound;
}

// ---- our ELF program files ----

struct ElfReader {
  bool is64;
  bool little;
  uint16_t U16(const uint8_t* p) const { return little ? Le16(p) : Be16(p); }
  uint32_t U32(const uint8_t* p) const { return little ? Le32(p) : Be32(p); }
  uint64_t Word(const uint8_t* p) const {  // a 32- or 64-bit address, offset or size
    if (is64) return little ? Le64(p) : Be64(p);
    return U32(p);
  }
};

struct ElfSection {
  uint32_t name;
  uint32_t type;
  uint64_t offset;
  uint64_t size;
  uint32_t link;
};

ElfSection DecodeElfSection(const ElfReader& elf, const uint8_t* raw) {
  return {elf.U32(raw), elf.U32(raw + 4), elf.Word(raw + (elf.is64 ? 24 : 16)),
          elf.Word(raw + (elf.is64 ? 32 : 20)), elf.U32(raw + (elf.is64 ? 40 : 24))};
}

Outcome LayoutOfElf(const ImageBytes& image, ResourceLayout* layout) {
  uint8_t header[64];
  if (!image.Read(0, header, 16) || (header[4] != 1 && header[4] != 2) ||
      (header[5] != 1 && header[5] != 2)) {
    return Outcome::kBroken;
  }
  const ElfReader elf{header[4] == 2, header[5] == 1};
  if (!image.Read(0, header, elf.is64 ? 64 : 52)) return Outcome::kBroken;
  const uint64_t table = elf.Word(header + (elf.is64 ? 40 : 32));
  const uint64_t entry_size = elf.U16(header + (elf.is64 ? 58 : 46));
  uint64_t count = elf.U16(header + (elf.is64 ? 60 : 48));
  uint64_t names_index = elf.U16(header + (elf.is64 ? 62 : 50));
  if (table == 0) return Outcome::kNoResources;
  if (entry_size < (elf.is64 ? 64u : 40u) || table > image.Size()) return Outcome::kBroken;

  // The first entry holds the real count and string-table index when they do not fit the header.
  std::vector<uint8_t> raw(entry_size);
  if (!image.Read(table, raw.data(), raw.size())) return Outcome::kBroken;
  const ElfSection first = DecodeElfSection(elf, raw.data());
  if (count == 0) count = first.size;
  constexpr uint64_t kExtendedIndex = 0xFFFF;  // SHN_XINDEX
  if (names_index == kExtendedIndex) names_index = first.link;
  if (count > (image.Size() - table) / entry_size || names_index >= count) return Outcome::kBroken;
  raw.resize(count * entry_size);  // no larger than the file, checked above
  if (!image.Read(table, raw.data(), raw.size())) return Outcome::kBroken;
  const ElfSection names = DecodeElfSection(elf, raw.data() + names_index * entry_size);

  constexpr uint32_t kNoBits = 8;  // SHT_NOBITS: takes no room in the file
  constexpr size_t kNameSize = sizeof(fmt::kElfSectionName);
  for (uint64_t i = 1; i < count; ++i) {
    const ElfSection section = DecodeElfSection(elf, raw.data() + i * entry_size);
    char name[kNameSize];
    if (section.name > names.size || kNameSize > names.size - section.name ||
        names.offset > UINT64_MAX - section.name ||
        !image.Read(names.offset + section.name, name, kNameSize) ||
        std::memcmp(name, fmt::kElfSectionName, kNameSize) != 0) {
      continue;
    }
    if (section.type == kNoBits || section.offset > image.Size() ||
        section.size > image.Size() - section.offset) {
      return Outcome::kBroken;
    }
    layout->sections.push_back({0, section.size, section.offset});
    layout->directory_address = 0;
    return Outcome::kFound;
  }
  return Outcome::kNoResources;
}

// ---- the resource directory ----

struct DirectoryEntry {
  uint32_t name;
  uint32_t target;
};

// The numbered entries of the directory at offset (from the root); false when it does not fit.
bool ReadNumberedEntries(const ImageBytes& image, const ResourceLayout& layout, uint32_t offset,
                         std::vector<DirectoryEntry>* entries) {
  const uint64_t at = layout.directory_address + offset;
  uint8_t directory[fmt::kDirectorySize];
  if (!ReadAt(image, layout, at, directory, sizeof(directory))) return false;
  const size_t named = Le16(directory + fmt::kNamedCountOffset);
  const size_t numbered = Le16(directory + fmt::kIdCountOffset);
  const size_t size = (named + numbered) * fmt::kDirectoryEntrySize;
  if (!FileOffsetOf(layout, at + fmt::kDirectorySize, size)) return false;  // before allocating for it
  std::vector<uint8_t> raw(size);
  if (!ReadAt(image, layout, at + fmt::kDirectorySize, raw.data(), raw.size())) return false;
  entries->clear();
  for (size_t i = named; i < named + numbered; ++i) {
    const uint8_t* entry = raw.data() + i * fmt::kDirectoryEntrySize;
    const uint32_t name = Le32(entry);
    if ((name & fmt::kNameIsString) == 0) entries->push_back({name, Le32(entry + 4)});
  }
  return true;
}

const DirectoryEntry* EntryWithId(const std::vector<DirectoryEntry>& entries, uint32_t id) {
  for (const DirectoryEntry& entry : entries) {
    if (entry.name == id) return &entry;
  }
  return nullptr;
}

const DirectoryEntry* EntryForLanguage(const std::vector<DirectoryEntry>& entries, uint16_t language) {
  if (const DirectoryEntry* exact = EntryWithId(entries, language)) return exact;
  if (language != kLanguageNeutral) return nullptr;
  if (const DirectoryEntry* english = EntryWithId(entries, kLanguageEnglishUs)) return english;
  return entries.empty() ? nullptr : &entries.front();
}

// The subdirectory an entry leads to, when it leads to one.
std::optional<uint32_t> Subdirectory(const DirectoryEntry* entry) {
  if (entry == nullptr || (entry->target & fmt::kEntryIsDirectory) == 0) return std::nullopt;
  return entry->target & ~fmt::kEntryIsDirectory;
}

bool FindInDirectory(const ImageBytes& image, const ResourceLayout& layout, uint16_t type, uint16_t id,
                     uint16_t language, std::vector<uint8_t>* data) {
  std::vector<DirectoryEntry> entries;
  if (!ReadNumberedEntries(image, layout, 0, &entries)) return FailWith(ERROR_BAD_FORMAT);
  const DirectoryEntry* type_entry = EntryWithId(entries, type);
  if (type_entry == nullptr) return FailWith(ERROR_RESOURCE_TYPE_NOT_FOUND);
  const std::optional<uint32_t> ids = Subdirectory(type_entry);
  if (!ids || !ReadNumberedEntries(image, layout, *ids, &entries)) return FailWith(ERROR_BAD_FORMAT);
  const DirectoryEntry* id_entry = EntryWithId(entries, id);
  if (id_entry == nullptr) return FailWith(ERROR_RESOURCE_NAME_NOT_FOUND);
  const std::optional<uint32_t> languages = Subdirectory(id_entry);
  if (!languages || !ReadNumberedEntries(image, layout, *languages, &entries))
    return FailWith(ERROR_BAD_FORMAT);
  const DirectoryEntry* language_entry = EntryForLanguage(entries, language);
  if (language_entry == nullptr) return FailWith(ERROR_RESOURCE_LANG_NOT_FOUND);
  if ((language_entry->target & fmt::kEntryIsDirectory) != 0) return FailWith(ERROR_BAD_FORMAT);

  uint8_t data_entry[fmt::kDataEntrySize];
  if (!ReadAt(image, layout, layout.directory_address + language_entry->target, data_entry,
              sizeof(data_entry))) {
    return FailWith(ERROR_BAD_FORMAT);
  }
  const uint32_t address = Le32(data_entry);
  const uint32_t size = Le32(data_entry + 4);
  const std::optional<uint64_t> offset = FileOffsetOf(layout, address, size);
  if (!offset) return FailWith(ERROR_BAD_FORMAT);
  std::vector<uint8_t> bytes(size);  // bounded by the file: the range was checked above
  if (!image.Read(*offset, bytes.data(), bytes.size())) return FailWith(ERROR_BAD_FORMAT);
  *data = std::move(bytes);
  return true;
}

}  // namespace

bool FindImageResource(const ImageBytes& image, uint16_t type, uint16_t id, uint16_t language,
                       std::vector<uint8_t>* data) {
  uint8_t magic[4];
  if (!image.Read(0, magic, sizeof(magic))) return FailWith(ERROR_BAD_FORMAT);
  ResourceLayout layout;
  Outcome outcome;
  if (magic[0] == 'M' && magic[1] == 'Z') {
    outcome = LayoutOfPe(image, &layout);
  } else if (std::memcmp(magic,
                         "\x7F"
                         "ELF",
                         4) == 0) {
    outcome = LayoutOfElf(image, &layout);
  } else {
    return FailWith(ERROR_BAD_FORMAT);
  }
  if (outcome == Outcome::kBroken) return FailWith(ERROR_BAD_FORMAT);
  if (outcome == Outcome::kNoResources) return FailWith(ERROR_RESOURCE_DATA_NOT_FOUND);
  return FindInDirectory(image, layout, type, id, language, data);
}

}  // namespace qv::platform
