#include "rescomp/image_writer.h"

#include <cstdio>

#include "platform/resources/resource_format.h"
#include "rescomp/byte_writer.h"

namespace qv::rescomp {

namespace fmt = platform::resource_format;

namespace {

constexpr uint32_t kPeHeaderAt = 0x40;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kResourceRva = 0x1000;

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace

std::vector<uint8_t> BuildPeImage(const std::vector<Resource>& resources, PeFormat format) {
  const bool plus = format == PeFormat::kPe32Plus;
  const std::vector<uint8_t> section = BuildResourceSection(resources, kResourceRva);
  const auto section_size = static_cast<uint32_t>(section.size());
  const uint16_t optional_header_size = plus ? 240 : 224;  // with 16 data directories

  ByteWriter out;
  out.Append("MZ");
  out.Zeros(0x3C - out.Size());
  out.U32(kPeHeaderAt);  // e_lfanew
  out.Append(std::string_view("PE\0\0", 4));
  out.U16(plus ? 0x8664 : 0x014C);  // x64 or i386
  out.U16(1);                       // one section
  out.U32(0);                       // time stamp
  out.U32(0);                       // symbol table
  out.U32(0);
  out.U16(optional_header_size);
  out.U16(plus ? 0x2022 : 0x2102);  // executable image, DLL; large addresses (x64) or 32-bit machine

  auto address_size = [&out, plus](uint64_t value) {  // a field that PE32+ widens to 64 bits
    if (plus) {
      out.U64(value);
    } else {
      out.U32(static_cast<uint32_t>(value));
    }
  };
  out.U16(plus ? 0x020B : 0x010B);
  out.U16(0);                                      // linker version
  out.U32(0);                                      // size of code
  out.U32(AlignUp(section_size, kFileAlignment));  // size of initialised data
  out.U32(0);                                      // size of uninitialised data
  out.U32(0);                                      // entry point: none
  out.U32(0);                                      // base of code
  if (!plus) out.U32(kResourceRva);                // base of data
  address_size(0x10000000);                        // image base
  out.U32(kSectionAlignment);
  out.U32(kFileAlignment);
  out.U16(4);  // operating system version 4.0
  out.U16(0);
  out.U32(0);  // image version
  out.U16(4);  // subsystem version 4.0
  out.U16(0);
  out.U32(0);                                                        // Win32 version value
  out.U32(kResourceRva + AlignUp(section_size, kSectionAlignment));  // size of image
  out.U32(kFileAlignment);                                           // size of headers
  out.U32(0);                                                        // checksum
  out.U16(2);                                                        // Windows GUI subsystem
  out.U16(0);                                                        // DLL characteristics
  address_size(0x100000);  // stack reserve, commit; heap reserve, commit
  address_size(0x1000);
  address_size(0x100000);
  address_size(0x1000);
  out.U32(0);   // loader flags
  out.U32(16);  // data directories
  for (uint32_t i = 0; i < 16; ++i) {
    out.U32(i == 2 ? kResourceRva : 0);
    out.U32(i == 2 ? section_size : 0);
  }

  out.Append(std::string_view(".rsrc\0\0\0", 8));
  out.U32(section_size);  // virtual size
  out.U32(kResourceRva);
  out.U32(AlignUp(section_size, kFileAlignment));  // size of raw data
  out.U32(kFileAlignment);                         // pointer to raw data
  out.U32(0);                                      // relocations, line numbers
  out.U32(0);
  out.U16(0);
  out.U16(0);
  out.U32(0x40000040);  // initialised data, readable

  out.Zeros(kFileAlignment - out.Size());
  out.Append(section);
  out.Align(kFileAlignment);
  return out.Take();
}

std::vector<uint8_t> BuildElfImage(const std::vector<uint8_t>& section) {
  constexpr uint64_t kHeaderSize = 64;
  constexpr uint64_t kSectionHeaderSize = 64;
  const std::string names = std::string("\0", 1) + fmt::kElfSectionName + '\0' + ".shstrtab" + '\0';
  const uint64_t names_at = kHeaderSize + section.size();
  const uint64_t table_at = (names_at + names.size() + 7) & ~uint64_t{7};

  ByteWriter out;
  out.Append(
      std::string_view("\x7F"
                       "ELF",
                       4));
  out.U8(2);  // 64-bit
  out.U8(1);  // little-endian
  out.U8(1);  // ELF version
  out.Zeros(9);
  out.U16(0);  // no file type: it is neither run nor linked
  out.U16(0);  // no machine
  out.U32(1);
  out.U64(0);  // entry
  out.U64(0);  // program headers
  out.U64(table_at);
  out.U32(0);  // flags
  out.U16(kHeaderSize);
  out.U16(0);  // program header size and count
  out.U16(0);
  out.U16(kSectionHeaderSize);
  out.U16(3);  // null, .rsrc, .shstrtab
  out.U16(2);  // index of .shstrtab

  out.Append(section);
  out.Append(names);
  out.Align(8);

  auto section_header = [&out](uint32_t name, uint32_t type, uint64_t flags, uint64_t offset, uint64_t size,
                               uint64_t alignment) {
    out.U32(name);
    out.U32(type);
    out.U64(flags);
    out.U64(0);  // address
    out.U64(offset);
    out.U64(size);
    out.U32(0);  // link, info
    out.U32(0);
    out.U64(alignment);
    out.U64(0);  // entry size
  };
  section_header(0, 0, 0, 0, 0, 0);
  section_header(1, 1, 2, kHeaderSize, section.size(), 8);                            // PROGBITS, allocated
  section_header(1 + sizeof(fmt::kElfSectionName), 3, 0, names_at, names.size(), 1);  // STRTAB
  return out.Take();
}

std::string BuildSectionSource(const std::vector<uint8_t>& section, const std::string& origin) {
  std::string source =
      "// Generated by qvrc from " + origin +
      "; do not edit.\n"
      "// The program's resources (version information, message table) in the ELF section \".rsrc\",\n"
      "// where the resource reader finds them in the program file. No code refers to them: \"used\"\n"
      "// keeps them from the compiler and \"retain\" from the linker's garbage collection.\n"
      "#if defined(__has_attribute)\n"
      "#if __has_attribute(retain)\n"
      "#define QV_RESOURCE_RETAIN __attribute__((retain))\n"
      "#endif\n"
      "#endif\n"
      "#ifndef QV_RESOURCE_RETAIN\n"
      "#define QV_RESOURCE_RETAIN\n"
      "#endif\n\n"
      "namespace {\n\n"
      "__attribute__((used, section(\".rsrc\"), aligned(8))) QV_RESOURCE_RETAIN const unsigned char\n"
      "    kProgramResources[" +
      std::to_string(section.size()) + "] = {\n";
  for (size_t i = 0; i < section.size(); ++i) {
    char byte[16];
    std::snprintf(byte, sizeof(byte), "%s0x%02X,", i % 16 == 0 ? "    " : " ", section[i]);
    source += byte;
    if (i % 16 == 15 || i + 1 == section.size()) source += '\n';
  }
  source += "};\n\n}  // namespace\n";
  return source;
}

}  // namespace qv::rescomp
