// The service's settings, one row each: the registry value's name under the service's key, its type,
// default, sensible range, whether a missing or mistyped value is written back, and its meaning. The
// settings reader (TWCRegistry) takes names, defaults and write-back from here; README.md's table and
// quorvane(8) are made from the same rows, and a test fails when they differ
// (tests/config/settings_documents_test.cc).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// REG_DWORD, or REG_SZ (a text that is not written back may also be REG_EXPAND_SZ).
enum class SettingType { kNumber, kText };

// Where a text's default comes from when it is not the row's text itself.
enum class SettingDefault {
  kFixed,            // the row's number or text
  kBesideProgram,    // the row's text as a file name in the program's directory
  kLocaleShortDate,  // the locale's short date pattern
  kLocaleShortTime,  // the locale's short time pattern
};

struct SettingRow {
  std::string_view name;
  SettingType type;
  int32_t number;         // a number's default
  std::string_view text;  // a text's default (kFixed), or the file name (kBesideProgram)
  SettingDefault source;
  // The values that make sense for a number; the readers take any value, the documents show these.
  int32_t minimum;
  int32_t maximum;
  bool written_back;  // a missing or mistyped value is replaced by the default when it is read
  std::string_view default_note;  // what the documents add to the default, or empty
  std::string_view meaning;       // one line for the documents (Markdown: `code` in backquotes)
};

// Every setting, in the order the documents list them.
std::span<const SettingRow> SettingsTable();

// The row of the named setting (compared ignoring ASCII case, as registry value names are), or
// nullptr when no setting has that name.
const SettingRow* FindSetting(std::string_view name);

// The row of a setting the code names; raises std::logic_error when there is none (a fault of the
// code, not of the registry).
const SettingRow& Setting(std::string_view name);

// The registry type the documents name: "REG_DWORD", "REG_SZ", or "REG_SZ or REG_EXPAND_SZ".
std::string SettingTypeText(const SettingRow& row);

}  // namespace qv
