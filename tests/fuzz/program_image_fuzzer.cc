// Untrusted program files through the resource reader: the bytes as a PE or ELF image whose version
// resource and message table are found and read the way TVersionInfo and the event viewer read
// them, the same bytes taken directly as a version resource and as a message table, and the bytes
// as a program file on disk read by TVersionInfo as the start-up check reads the information
// store's program (positioned reads of the file instead of a buffer).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "fuzz_state_dir.h"
#include "platform/files/file_system.h"

#include "platform/errors/exception.h"
#include "platform/message_table/format_message.h"
#include "platform/message_table/message_table.h"
#include "platform/resources/file_version.h"
#include "platform/resources/image_resources.h"
#include "platform/resources/program_resources.h"
#include "support/version_info.h"

namespace {

using namespace qv;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every value and number the reader offers.
void ReadAll(const TVersionInfo& info) {
  for (int index = 0; index < TVersionInfo::kValueCount; ++index) {
    // A value is cut at its first NUL.
    Check(info.GetItem(index).find('\0') == std::string::npos);
  }
  info.GetValue("SpecialBuild");
  info.GetValue("");
  // Without a translation there are no values and no numbers.
  if (info.KeyPrefix().empty()) Check(info.FileVersion().empty() && info.MajorVersion() == 0);
}

void ReadVersion(std::span<const uint8_t> block) {
  std::string value;
  platform::VerQueryValue(block, "\\", &value);
  platform::VerQueryValue(block, "\\VarFileInfo\\Translation", &value);
  try {
    ReadAll(TVersionInfo::FromVersionData(std::vector<uint8_t>(block.begin(), block.end())));
  } catch (const EConvertError&) {
    // a FileVersion part that is not a number: the reader's documented answer
  }
}

void ReadProgramFile(std::span<const uint8_t> bytes) {
  const std::string path = fuzzing::FuzzStateFile("program.exe");
  Check(
      platform::WriteWholeFile(path, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
  try {
    const TVersionInfo info(path);
    ReadAll(info);
    // The file route finds what the buffer route finds.
    const platform::MemoryImageBytes image(bytes);
    std::vector<uint8_t> resource;
    if (platform::FindImageResource(image, platform::kResourceTypeVersion, 1, platform::kLanguageNeutral,
                                    &resource))
      Check(info.VersionData() == resource);
  } catch (const EConvertError&) {
  }
}

void ReadMessages(std::span<const uint8_t> table) {
  std::vector<uint32_t> ids = {0, 1, 111, 0xFFFFFFFF};
  // The lowest and highest ids of the first blocks, so that mutated tables are looked into.
  for (size_t at = 4; at + 8 <= table.size() && ids.size() < 12; at += 12) {
    const uint32_t low =
        table[at] | (table[at + 1] << 8) | (table[at + 2] << 16) | (uint32_t{table[at + 3]} << 24);
    ids.push_back(low);
    ids.push_back(low + 1);
  }
  for (const uint32_t id : ids) {
    std::string text;
    if (platform::FindMessageText(table, id, &text)) platform::FormatMessageText(text, {"20", "%1", "%n"});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const platform::MemoryImageBytes image(bytes);
  std::vector<uint8_t> resource;
  if (platform::FindImageResource(image, platform::kResourceTypeVersion, 1, platform::kLanguageNeutral,
                                  &resource)) {
    ReadVersion(resource);
  }
  if (platform::FindImageResource(image, platform::kResourceTypeMessageTable, 1, platform::kLanguageEnglishUs,
                                  &resource)) {
    ReadMessages(resource);
  }
  ReadVersion(bytes);
  ReadMessages(bytes);
  ReadProgramFile(bytes);
  return 0;
}
