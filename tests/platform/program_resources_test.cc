#include "platform/resources/program_resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/process/module.h"
#include "platform/resources/image_resources.h"
#include "rescomp/image_writer.h"
#include "testing/resource_files.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

using rescomp::Resource;

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<Resource> SampleResources() {
  return {{kResourceTypeVersion, 1, 0x0407, Bytes("version, German")},
          {kResourceTypeVersion, 1, kLanguageEnglishUs, Bytes("version, English")},
          {kResourceTypeMessageTable, 1, kLanguageNeutral, Bytes("messages, neutral")},
          {kResourceTypeMessageTable, 1, 0x040C, Bytes("messages, French")},
          {kResourceTypeMessageTable, 7, 0x040C, Bytes("")}};
}

std::vector<uint8_t> PeImage(const std::vector<Resource>& resources,
                             rescomp::PeFormat format = rescomp::PeFormat::kPe32) {
  return rescomp::BuildPeImage(resources, format);
}
std::vector<uint8_t> ElfImage(const std::vector<Resource>& resources) {
  return rescomp::BuildElfImage(rescomp::BuildResourceSection(resources, 0));
}

// The resource found in image bytes, or the last error as text.
std::string Find(const std::vector<uint8_t>& image, uint16_t type, uint16_t id, uint16_t language) {
  std::vector<uint8_t> data;
  if (!FindImageResource(MemoryImageBytes(image), type, id, language, &data)) {
    return "error " + std::to_string(GetLastError());
  }
  return std::string(data.begin(), data.end());
}

std::string ErrorText(uint32_t code) {
  return "error " + std::to_string(code);
}

enum class ImageKind { kPe32, kPe32Plus, kElf };

class ProgramResourcesTest : public ::testing::TestWithParam<ImageKind> {
 protected:
  std::vector<uint8_t> Image(const std::vector<Resource>& resources) const {
    switch (GetParam()) {
      case ImageKind::kPe32:
        return PeImage(resources);
      case ImageKind::kPe32Plus:
        return PeImage(resources, rescomp::PeFormat::kPe32Plus);
      case ImageKind::kElf:
        break;
    }
    return ElfImage(resources);
  }
  testing::TestStateDir dir_;
};

TEST_P(ProgramResourcesTest, FindsByTypeIdAndLanguageInAFile) {
  const std::string path = testing::WriteBytes(dir_.File("program"), Image(SampleResources()));
  std::vector<uint8_t> data;
  ASSERT_TRUE(LoadProgramResource(path, kResourceTypeVersion, 1, 0x0407, &data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "version, German");
  ASSERT_TRUE(LoadProgramResource(path, kResourceTypeVersion, 1, kLanguageEnglishUs, &data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "version, English");
  ASSERT_TRUE(LoadProgramResource(path, kResourceTypeMessageTable, 7, 0x040C, &data));
  EXPECT_TRUE(data.empty());

  EXPECT_FALSE(LoadProgramResource(path, 5, 1, kLanguageNeutral, &data));
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_FALSE(LoadProgramResource(path, kResourceTypeVersion, 2, kLanguageNeutral, &data));
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_FALSE(LoadProgramResource(path, kResourceTypeVersion, 1, 0x040C, &data));
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_LANG_NOT_FOUND);
}

TEST_P(ProgramResourcesTest, NeutralPicksNeutralThenEnglishThenTheFirstLanguage) {
  const std::vector<uint8_t> image = Image(SampleResources());
  EXPECT_EQ(Find(image, kResourceTypeMessageTable, 1, kLanguageNeutral), "messages, neutral");
  EXPECT_EQ(Find(image, kResourceTypeVersion, 1, kLanguageNeutral), "version, English");
  EXPECT_EQ(Find(image, kResourceTypeMessageTable, 7, kLanguageNeutral), "");
  const std::vector<uint8_t> no_english = Image({{kResourceTypeVersion, 1, 0x040C, Bytes("French")},
                                                 {kResourceTypeVersion, 1, 0x0407, Bytes("German")}});
  EXPECT_EQ(Find(no_english, kResourceTypeVersion, 1, kLanguageNeutral), "German");  // lowest language first
}

// Every prefix of an image either lacks the resource or gives it whole: nothing is read from
// beyond the end of the file, and nothing made up.
TEST_P(ProgramResourcesTest, TruncatedImagesGiveTheResourceWholeOrNotAtAll) {
  const std::vector<uint8_t> image = Image(SampleResources());
  const std::string wanted = "messages, French";
  const auto data_at = std::search(image.begin(), image.end(), wanted.begin(), wanted.end()) - image.begin();
  for (size_t length = 0; length < image.size(); ++length) {
    const std::vector<uint8_t> prefix(image.begin(), image.begin() + static_cast<ptrdiff_t>(length));
    const std::string found = Find(prefix, kResourceTypeMessageTable, 1, 0x040C);
    if (length < data_at + wanted.size()) {
      EXPECT_EQ(found.rfind("error ", 0), 0u) << "prefix of " << length << " bytes gave " << found;
    } else if (found.rfind("error ", 0) != 0) {
      EXPECT_EQ(found, wanted);
    }
  }
}

TEST_P(ProgramResourcesTest, FilesThatAreNoProgramFiles) {
  std::vector<uint8_t> data;
  EXPECT_FALSE(LoadProgramResource(dir_.File("missing"), kResourceTypeVersion, 1, kLanguageNeutral, &data));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(LoadProgramResource(dir_.Path(), kResourceTypeVersion, 1, kLanguageNeutral, &data));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(LoadProgramResource("/dev/null", kResourceTypeVersion, 1, kLanguageNeutral, &data));
  EXPECT_EQ(GetLastError(), ERROR_BAD_FORMAT);
  const std::string text = testing::WriteBytes(dir_.File("text"), Bytes("MZ is not enough\n"));
  EXPECT_FALSE(LoadProgramResource(text, kResourceTypeVersion, 1, kLanguageNeutral, &data));
  EXPECT_EQ(GetLastError(), ERROR_BAD_FORMAT);
  EXPECT_FALSE(LoadProgramResource(testing::WriteBytes(dir_.File("empty"), {}), kResourceTypeVersion, 1,
                                   kLanguageNeutral, &data));
  EXPECT_EQ(GetLastError(), ERROR_BAD_FORMAT);
}

INSTANTIATE_TEST_SUITE_P(ImageKinds, ProgramResourcesTest,
                         ::testing::Values(ImageKind::kPe32, ImageKind::kPe32Plus, ImageKind::kElf),
                         [](const auto& kind) {
                           return kind.param == ImageKind::kPe32       ? "Pe32"
                                  : kind.param == ImageKind::kPe32Plus ? "Pe32Plus"
                                                                       : "Elf";
                         });

TEST(ProgramResources, TheRunningProgramCarriesVersionAndMessageTable) {
  std::vector<uint8_t> data;
  EXPECT_TRUE(LoadProgramResource(GetModuleFileName(), kResourceTypeVersion, 1, kLanguageNeutral, &data));
  EXPECT_GT(data.size(), 100u);
  EXPECT_TRUE(
      LoadProgramResource(GetModuleFileName(), kResourceTypeMessageTable, 1, kLanguageEnglishUs, &data));
  EXPECT_GT(data.size(), 100u);
}

// ---- damaged and lying images ----

void Put16(std::vector<uint8_t>* image, size_t at, uint16_t value) {
  (*image)[at] = static_cast<uint8_t>(value);
  (*image)[at + 1] = static_cast<uint8_t>(value >> 8);
}
void Put32(std::vector<uint8_t>* image, size_t at, uint32_t value) {
  Put16(image, at, static_cast<uint16_t>(value));
  Put16(image, at + 2, static_cast<uint16_t>(value >> 16));
}
void Put64(std::vector<uint8_t>* image, size_t at, uint64_t value) {
  Put32(image, at, static_cast<uint32_t>(value));
  Put32(image, at + 4, static_cast<uint32_t>(value >> 32));
}

struct Damage {
  const char* what;
  std::function<void(std::vector<uint8_t>*)> apply;
  uint32_t error;
};

// Places in the images that the resource compiler writes (see rescomp/image_writer.cc).
constexpr size_t kPeSectionCount = 0x46;
constexpr size_t kPeOptionalSize = 0x54;
constexpr size_t kPeResourceDirectory = 0x58 + 96 + 2 * 8;
constexpr size_t kPeSectionHeader = 0x58 + 224;
constexpr size_t kPeRoot = 0x200;  // the resource section: the root directory
constexpr size_t kElfSectionTable = 40;
constexpr size_t kElfSectionCount = 60;
constexpr size_t kElfNamesIndex = 62;
constexpr size_t kElfRoot = 64;

// In both images the root directory has the entries of type 11 and type 16; type 11's subdirectory
// holds ids 1 and 7; the language directory of type 11, id 1 holds languages 0 and 0x040C.
size_t LanguageDirectory(const std::vector<uint8_t>& image, size_t root) {
  const size_t ids = root + (image[root + 20] | (image[root + 21] << 8));
  return root + (image[ids + 20] | (image[ids + 21] << 8));
}

TEST(ProgramResources, LyingPeImagesGiveNoResource) {
  const std::vector<Damage> damages = {
      {"header offset past the end", [](auto* i) { Put32(i, 0x3C, 0xFFFFFFF0); }, ERROR_BAD_FORMAT},
      {"no PE signature", [](auto* i) { (*i)[0x40] = 'X'; }, ERROR_BAD_FORMAT},
      {"65535 sections", [](auto* i) { Put16(i, kPeSectionCount, 0xFFFF); }, ERROR_BAD_FORMAT},
      {"optional header past the end", [](auto* i) { Put16(i, kPeOptionalSize, 0xFFFF); }, ERROR_BAD_FORMAT},
      {"unknown optional header", [](auto* i) { Put16(i, 0x58, 0x0107); }, ERROR_BAD_FORMAT},
      {"no resource directory", [](auto* i) { Put32(i, kPeResourceDirectory, 0); },
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"two data directories", [](auto* i) { Put32(i, 0x58 + 92, 2); }, ERROR_RESOURCE_DATA_NOT_FOUND},
      {"directory outside every section", [](auto* i) { Put32(i, kPeResourceDirectory, 0x7FFFFFF0); },
       ERROR_BAD_FORMAT},
      {"section data past the end", [](auto* i) { Put32(i, kPeSectionHeader + 20, 0xFFFFFF00); },
       ERROR_BAD_FORMAT},
      {"65535 types in a short root", [](auto* i) { Put16(i, kPeRoot + 14, 0xFFFF); }, ERROR_BAD_FORMAT},
      {"65535 named entries", [](auto* i) { Put16(i, kPeRoot + 12, 0xFFFF); }, ERROR_BAD_FORMAT},
      {"type subdirectory far away", [](auto* i) { Put32(i, kPeRoot + 20, 0xFFFFFFFF); }, ERROR_BAD_FORMAT},
      {"type leads to a data entry", [](auto* i) { Put32(i, kPeRoot + 20, 0x100); }, ERROR_BAD_FORMAT},
      {"type leads back to the root", [](auto* i) { Put32(i, kPeRoot + 20, 0x80000000); },
       ERROR_RESOURCE_NAME_NOT_FOUND},
      {"language leads to a directory",
       [](auto* i) { Put32(i, LanguageDirectory(*i, kPeRoot) + 28, 0x80000000); }, ERROR_BAD_FORMAT},
      {"data entry far away", [](auto* i) { Put32(i, LanguageDirectory(*i, kPeRoot) + 28, 0x7FFFFFF0); },
       ERROR_BAD_FORMAT},
  };
  const std::vector<uint8_t> original = PeImage(SampleResources());
  ASSERT_EQ(Find(original, kResourceTypeMessageTable, 1, 0x040C), "messages, French");
  for (const Damage& damage : damages) {
    std::vector<uint8_t> image = original;
    damage.apply(&image);
    EXPECT_EQ(Find(image, kResourceTypeMessageTable, 1, 0x040C), ErrorText(damage.error)) << damage.what;
  }
}

TEST(ProgramResources, LyingDataEntriesGiveNoResource) {
  const std::vector<uint8_t> original = PeImage(SampleResources());
  const size_t languages = LanguageDirectory(original, kPeRoot);
  const size_t data_entry = kPeRoot + (original[languages + 28] | (original[languages + 29] << 8));
  for (const uint32_t size : {0xFFFFFFFFu, 0x80000000u, 0x10000u}) {
    std::vector<uint8_t> image = original;
    Put32(&image, data_entry + 4, size);
    EXPECT_EQ(Find(image, kResourceTypeMessageTable, 1, 0x040C), ErrorText(ERROR_BAD_FORMAT)) << size;
  }
  for (const uint32_t address : {0u, 0xFFFFFFFFu, 0x0FFFu, 0x1000u + 0x10000u}) {
    std::vector<uint8_t> image = original;
    Put32(&image, data_entry, address);
    EXPECT_EQ(Find(image, kResourceTypeMessageTable, 1, 0x040C), ErrorText(ERROR_BAD_FORMAT)) << address;
  }
}

TEST(ProgramResources, LyingElfImagesGiveNoResource) {
  const std::vector<uint8_t> original = ElfImage(SampleResources());
  const size_t table = original[kElfSectionTable] | (original[kElfSectionTable + 1] << 8);
  const size_t rsrc = table + 64;  // the section header of .rsrc
  const std::vector<Damage> damages = {
      {"unknown class", [](auto* i) { (*i)[4] = 3; }, ERROR_BAD_FORMAT},
      {"section table past the end", [](auto* i) { Put64(i, kElfSectionTable, 0xFFFFFFFFFFFFFF00); },
       ERROR_BAD_FORMAT},
      {"no section table", [](auto* i) { Put64(i, kElfSectionTable, 0); }, ERROR_RESOURCE_DATA_NOT_FOUND},
      {"65535 sections", [](auto* i) { Put16(i, kElfSectionCount, 0xFFFF); }, ERROR_BAD_FORMAT},
      {"count in the first section, huge",
       [table](auto* i) {
         Put16(i, kElfSectionCount, 0);
         Put64(i, table + 32, 0xFFFFFFFFFFFFFFFF);
       },
       ERROR_BAD_FORMAT},
      {"short section headers", [](auto* i) { Put16(i, 58, 8); }, ERROR_BAD_FORMAT},
      {"names section out of range", [](auto* i) { Put16(i, kElfNamesIndex, 9); }, ERROR_BAD_FORMAT},
      {"names index in the first section, out of range",
       [table](auto* i) {
         Put16(i, kElfNamesIndex, 0xFFFF);
         Put32(i, table + 40, 0x7FFFFFFF);
       },
       ERROR_BAD_FORMAT},
      {"section name far away", [rsrc](auto* i) { Put32(i, rsrc, 0xFFFFFFFF); },
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"resource section past the end", [rsrc](auto* i) { Put64(i, rsrc + 24, 0xFFFFFFFFFFFFFFF0); },
       ERROR_BAD_FORMAT},
      {"resource section too long", [rsrc](auto* i) { Put64(i, rsrc + 32, 0x7FFFFFFFFFFFFFFF); },
       ERROR_BAD_FORMAT},
      {"resource section without bytes", [rsrc](auto* i) { Put32(i, rsrc + 4, 8); }, ERROR_BAD_FORMAT},
      {"type subdirectory far away", [](auto* i) { Put32(i, kElfRoot + 20, 0xFFFFFFFF); }, ERROR_BAD_FORMAT},
      {"data entry far away", [](auto* i) { Put32(i, LanguageDirectory(*i, kElfRoot) + 28, 0x7FFFFFF0); },
       ERROR_BAD_FORMAT},
  };
  ASSERT_EQ(Find(original, kResourceTypeMessageTable, 1, 0x040C), "messages, French");
  for (const Damage& damage : damages) {
    std::vector<uint8_t> image = original;
    damage.apply(&image);
    EXPECT_EQ(Find(image, kResourceTypeMessageTable, 1, 0x040C), ErrorText(damage.error)) << damage.what;
  }
}

}  // namespace
}  // namespace qv::platform
