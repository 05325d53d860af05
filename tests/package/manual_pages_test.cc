// The manual pages show their examples as an administrator types them: in scdoc's literal blocks
// roff would take a single backslash for an escape ('HKLM\Software' would lose both), so each is
// written twice in the source.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files/file_system.h"
#include "platform/process/process.h"
#include "testing/file_texts.h"
#include "testing/test_state_dir.h"

namespace qv::package {
namespace {

using ::testing::HasSubstr;

const std::string kManualDir = std::string(QV_TEST_SOURCE_DIR) + "/../docs/man";

std::vector<std::string> ManualSources() {
  std::vector<std::string> names;
  EXPECT_TRUE(platform::ListDirectory(kManualDir, &names));
  std::vector<std::string> sources;
  for (const std::string& name : names)
    if (name.ends_with(".scd")) sources.push_back(kManualDir + "/" + name);
  return sources;
}

TEST(ManualPages, LiteralBlocksWriteEveryBackslashTwice) {
  const std::vector<std::string> sources = ManualSources();
  ASSERT_GE(sources.size(), 4u);
  for (const std::string& source : sources) {
    const std::string text = testing::FileText(source);
    bool literal = false;
    size_t line_number = 0;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      ++line_number;
      start = end + 1;
      if (line.starts_with("```")) {
        literal = !literal;
        continue;
      }
      if (!literal) continue;
      for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\') continue;
        EXPECT_TRUE(i + 1 < line.size() && line[i + 1] == '\\')
            << source << ":" << line_number << ": " << line;
        ++i;
      }
    }
  }
}

TEST(ManualPages, ShowTheRegistryKeyOfTheExamplesWithItsBackslashes) {
  if (std::string(QV_SCDOC_PROGRAM).empty() || std::string(QV_GROFF_PROGRAM).empty())
    GTEST_SKIP() << "scdoc and groff render the pages";
  const testing::TestStateDir folder;
  const std::string shown = folder.File("qvanctl.txt");
  platform::ChildProcess render;
  ASSERT_TRUE(render.Start(
      "/bin/sh", {"-c", std::string(QV_SCDOC_PROGRAM) + " < \"" + kManualDir + "/qvanctl.8.scd\" | " +
                            QV_GROFF_PROGRAM + " -man -Tascii -P-cbou > \"" + shown + "\""}));
  uint32_t exit_code = 1;
  ASSERT_TRUE(render.Wait(&exit_code, 30000));
  ASSERT_EQ(exit_code, 0u);
  EXPECT_THAT(
      testing::FileText(shown),
      HasSubstr("sudo qvanctl reg add 'HKLM\\Software\\HOLLBERG\\Qvan' /v Port /t REG_DWORD /d 8080 /f"));
}

}  // namespace
}  // namespace qv::package
