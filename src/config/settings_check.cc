#include "config/settings_check.h"

#include <algorithm>
#include <cstring>

#include "config/registry_object.h"
#include "config/registry_type_names.h"
#include "config/settings_registry.h"
#include "platform/registry/registry.h"
#include "platform/text/ascii_text.h"
#include "support/win_error_text.h"

namespace qv {

namespace {

// Edits (insert, delete, replace) that turn one name into the other, ignoring ASCII case.
size_t EditDistance(const std::string& first, const std::string& second) {
  const std::string a = AsciiLowerCase(first), b = AsciiLowerCase(second);
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// A REG_DWORD's number as the reader takes it: four bytes, little-endian, signed.
std::optional<int32_t> DwordOf(const RegistryValue& value) {
  if (value.type != platform::REG_DWORD || value.data.size() != 4) return std::nullopt;
  uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
  return static_cast<int32_t>(number);
}

std::string TextOf(const RegistryValue& value) {
  return value.data.substr(0, value.data.find('\0'));
}

std::string DefaultText(const SettingRow& row) {
  if (row.type == SettingType::kNumber) return std::to_string(row.number);
  return "\"" + TWCRegistry::SettingDefaultText(row) + "\"";
}

const RegistryValue* FindValue(const std::vector<RegistryValue>& values, std::string_view name) {
  const std::string wanted = AsciiLowerCase(name);
  for (const RegistryValue& value : values)
    if (AsciiLowerCase(value.name) == wanted) return &value;
  return nullptr;
}

}  // namespace

std::vector<RegistryValue> ReadServiceSettingValues() {
  std::vector<RegistryValue> values;
  platform::RegKey key;
  const uint32_t opened = platform::RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, TWCRegistry::kSettingsKey + 1,
                                                 0, platform::KEY_READ, key.Receive());
  if (opened == platform::ERROR_FILE_NOT_FOUND) return values;
  if (opened != platform::ERROR_SUCCESS)
    throw ERegistryException("Cannot read the settings key: " +
                             GetWinErrorText(static_cast<int32_t>(opened)));
  for (uint32_t index = 0;; ++index) {
    RegistryValue value;
    const uint32_t result = platform::RegEnumValue(key.Get(), index, &value.name, &value.type, &value.data);
    if (result == platform::ERROR_NO_MORE_ITEMS) break;
    if (result != platform::ERROR_SUCCESS)
      throw ERegistryException("Cannot read the settings key: " +
                               GetWinErrorText(static_cast<int32_t>(result)));
    values.push_back(std::move(value));
  }
  return values;
}

const SettingRow* SettingMeantBy(const std::string& name) {
  const SettingRow* meant = nullptr;
  for (const SettingRow& row : SettingsTable()) {
    if (EditDistance(name, std::string(row.name)) > 2) continue;
    if (meant != nullptr) return nullptr;
    meant = &row;
  }
  return meant;
}

bool SettingAcceptsType(const SettingRow& row, uint32_t type) {
  if (row.type == SettingType::kNumber) return type == platform::REG_DWORD;
  return type == platform::REG_SZ || (!row.written_back && type == platform::REG_EXPAND_SZ);
}

std::optional<std::string> SettingValueProblem(const RegistryValue& value) {
  const SettingRow* row = FindSetting(value.name);
  if (row == nullptr) {
    std::string problem = "\"" + value.name + "\" is no setting of the service";
    if (const SettingRow* meant = SettingMeantBy(value.name))
      problem += " (" + std::string(meant->name) + " was meant?)";
    return problem;
  }
  const std::string name(row->name);
  if (!SettingAcceptsType(*row, value.type)) {
    return name + " is " + RegistryTypeName(value.type) + " but must be " + SettingTypeText(*row) +
           (row->written_back ? ": the service replaces it with its default " + DefaultText(*row)
                              : ": the service does not start");
  }
  if (row->type != SettingType::kNumber) return std::nullopt;
  const std::optional<int32_t> number = DwordOf(value);
  if (!number) return name + " is no four-byte REG_DWORD: the service does not start";
  if (*number < row->minimum || *number > row->maximum)
    return name + " is " + std::to_string(*number) + ", outside " + std::to_string(row->minimum) + " to " +
           std::to_string(row->maximum);
  return std::nullopt;
}

std::vector<SettingInEffect> SettingsInEffect(const std::vector<RegistryValue>& values) {
  std::vector<SettingInEffect> in_effect;
  for (const SettingRow& row : SettingsTable()) {
    SettingInEffect setting;
    setting.row = &row;
    const RegistryValue* value = FindValue(values, row.name);
    const bool usable = value != nullptr && SettingAcceptsType(row, value->type) &&
                        (row.type != SettingType::kNumber || DwordOf(*value).has_value());
    if (value != nullptr && !usable && !row.written_back) {
      setting.unusable = true;
    } else if (!usable) {
      setting.is_default = true;
      setting.number = row.number;
      if (row.type == SettingType::kText) setting.text = TWCRegistry::SettingDefaultText(row);
    } else if (row.type == SettingType::kNumber) {
      setting.number = *DwordOf(*value);
    } else {
      setting.text = TextOf(*value);
    }
    in_effect.push_back(std::move(setting));
  }
  return in_effect;
}

std::string ShownValue(const SettingInEffect& setting) {
  if (setting.unusable) return "(unusable)";
  std::string shown =
      setting.row->type == SettingType::kNumber ? std::to_string(setting.number) : "\"" + setting.text + "\"";
  if (setting.is_default) shown += " (default)";
  return shown;
}

}  // namespace qv
