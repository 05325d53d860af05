// README.md's settings table, the SETTINGS section of quorvane(8) and the setting names qvanctl's
// completion offers are made from the settings table (config/settings_table.cc): each test renders
// the rows as the document shows them and fails when the document's section differs, so a default,
// type or meaning changed on one side only is caught. Run with QV_UPDATE_DOCS=1 to write the sections
// from the table instead. Linux only: the documents are the same for both builds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config/settings_table.h"
#include "platform/files/file_system.h"
#include "testing/file_texts.h"

namespace qv::testing {
namespace {

const std::string kProjectDir = std::string(QV_TEST_SOURCE_DIR) + "/..";

// The default as both documents name it, without the notes.
std::string DefaultText(const SettingRow& row, const std::string& quote_open, const std::string& quote_close) {
  switch (row.source) {
    case SettingDefault::kBesideProgram:
      return quote_open + std::string(row.text) + quote_close + " beside the program";
    case SettingDefault::kLocaleShortDate:
      return "the locale's short date pattern";
    case SettingDefault::kLocaleShortTime:
      return "the locale's short time pattern";
    case SettingDefault::kFixed:
      break;
  }
  if (row.type == SettingType::kNumber) return std::to_string(row.number);
  return row.text.empty() ? "empty" : "\"" + std::string(row.text) + "\"";
}

std::string MarkdownTable() {
  std::string table = "| Value | Type | Default | Meaning |\n|---|---|---|---|\n";
  for (const SettingRow& row : SettingsTable()) {
    std::string type = SettingTypeText(row);
    if (row.type == SettingType::kNumber)
      type += ", " + std::to_string(row.minimum) + "–" + std::to_string(row.maximum);
    std::string notes;
    if (row.written_back) notes = "written on first start";
    if (!row.default_note.empty()) notes += (notes.empty() ? "" : "; ") + std::string(row.default_note);
    std::string default_text = DefaultText(row, "`", "`");
    if (!notes.empty()) default_text += " (" + notes + ")";
    table += "| `" + std::string(row.name) + "` | " + type + " | " + default_text + " | " + std::string(row.meaning) +
             " |\n";
  }
  return table + "\n";  // a blank line ends the table before the end marker
}

// Markdown's `code` as scdoc's _underlined_ text, whose own specials are escaped.
std::string ScdocText(std::string_view markdown) {
  std::string text;
  bool in_code = false;
  for (const char c : markdown) {
    if (c == '`') {
      text += '_';
      in_code = !in_code;
    } else if (in_code && (c == '_' || c == '*' || c == '\\')) {
      text += '\\';
      text += c;
    } else {
      text += c;
    }
  }
  return text;
}

// The words of a paragraph in lines of at most 100 columns (a tab counts 8), each after a tab.
std::string IndentedParagraph(const std::string& text) {
  std::string lines;
  std::string line;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && 8 + line.size() + 1 + word.size() > 100) {
      lines += "\t" + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  if (!line.empty()) lines += "\t" + line + "\n";
  return lines;
}

std::string ManualSection() {
  std::string section;
  for (const SettingRow& row : SettingsTable()) {
    std::string head = "*" + std::string(row.name) + "* (" + SettingTypeText(row);
    if (row.type == SettingType::kNumber)
      head += ", " + std::to_string(row.minimum) + " to " + std::to_string(row.maximum);
    head += ", default " + ScdocText(DefaultText(row, "`", "`"));
    if (row.written_back) head += ", written on first start";
    if (!row.default_note.empty()) head += "; " + ScdocText(row.default_note);
    head += ")";
    std::string meaning = ScdocText(row.meaning);
    meaning[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(meaning[0])));
    section += head + "\n" + IndentedParagraph(meaning + ".") + "\n";
  }
  return section;
}

// Compares the document's text between the two marker lines with the expected text; with
// QV_UPDATE_DOCS set, writes the expected text there first.
void ExpectSection(const std::string& path, const std::string& begin, const std::string& end,
                   const std::string& expected) {
  std::string document = FileText(path);
  const size_t begin_at = document.find(begin);
  ASSERT_NE(begin_at, std::string::npos) << path << " lacks the line " << begin;
  const size_t body_at = document.find('\n', begin_at) + 1;
  const size_t end_at = document.find(end, body_at);
  ASSERT_NE(end_at, std::string::npos) << path << " lacks the line " << end;
  if (std::getenv("QV_UPDATE_DOCS") != nullptr) {
    document.replace(body_at, end_at - body_at, expected);
    ASSERT_TRUE(platform::WriteWholeFile(path, document)) << path;
  }
  EXPECT_EQ(document.substr(body_at, end_at - body_at), expected)
      << path << " differs from the settings table; QV_UPDATE_DOCS=1 writes it from the table";
}

TEST(SettingsDocuments, ReadmeTableIsTheSettingsTable) {
  ExpectSection(kProjectDir + "/README.md", "<!-- settings table: begin", "<!-- settings table: end",
                MarkdownTable());
}

TEST(SettingsDocuments, ManualPageIsTheSettingsTable) {
  ExpectSection(kProjectDir + "/docs/man/quorvane.8.scd", "; settings table: begin", "; settings table: end",
                ManualSection());
}

TEST(SettingsDocuments, CompletionOffersTheSettingsOfTheTable) {
  std::string names;
  for (const SettingRow& row : SettingsTable()) names += (names.empty() ? "" : " ") + std::string(row.name);
  ExpectSection(kProjectDir + "/src/tools/qvanctl-completion.bash", "# settings: begin", "# settings: end",
                "_qvanctl_settings=\"" + names + "\"\n");
}

// Names are found whatever their letter case, as the registry finds them; a name no row has is none.
TEST(SettingsDocuments, RowsAreFoundByNameIgnoringCase) {
  ASSERT_NE(FindSetting("tracedetailness"), nullptr);
  EXPECT_EQ(FindSetting("tracedetailness")->name, "TraceDetailness");
  EXPECT_EQ(FindSetting("Prot"), nullptr);
  EXPECT_THROW(Setting("Prot"), std::logic_error);
}

}  // namespace
}  // namespace qv::testing
