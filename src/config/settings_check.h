// Judging values under the service's key against the settings table, without the service: the
// names that are no setting (with the setting they were probably meant to be), the types the reader
// would refuse or replace, and numbers outside their sensible range. quorvane --check and qvanctl reg
// add share it; ReadServiceSettingValues reads the key without writing anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/settings_table.h"

namespace qv {

// A value as the registry holds it: its name, type and raw data.
struct RegistryValue {
  std::string name;
  uint32_t type = 0;
  std::string data;
};

// Every value under HKEY_LOCAL_MACHINE\Software\HOLLBERG\Qvan, in the registry's order; none when the
// key is missing. Reads only. Raises platform::ERegistryStoreError for an unusable registry, and
// ERegistryException "Cannot read the settings key: <text>" when the key cannot be read.
std::vector<RegistryValue> ReadServiceSettingValues();

// The setting a name that is no setting was probably meant to be: the one whose name differs in at
// most two letters (ignoring case), when exactly one does.
const SettingRow* SettingMeantBy(const std::string& name);

// Whether the reader takes a value of the type for the setting: REG_DWORD for a number, REG_SZ for a
// text that is written back, REG_SZ or REG_EXPAND_SZ for the other texts.
bool SettingAcceptsType(const SettingRow& row, uint32_t type);

// What the service makes of one value: nothing when it takes it as it is; otherwise one sentence
// naming the value. A name that is no setting ("is no setting of the service", with the setting meant
// when there is one), a mistyped value (replaced by its default, or stopping the start) and a number
// outside the table's range each count.
std::optional<std::string> SettingValueProblem(const RegistryValue& value);

// One row of the settings in effect: the setting and its value.
struct SettingInEffect {
  const SettingRow* row = nullptr;
  int32_t number = 0;       // a number setting's value
  std::string text;         // a text setting's value
  bool is_default = false;  // the setting is missing, or replaced as mistyped
  bool unusable = false;    // mistyped where the service would not start: no value
};

// The settings the service would run with, in the table's order.
std::vector<SettingInEffect> SettingsInEffect(const std::vector<RegistryValue>& values);

// The value as the check shows it: a number, a text in double quotes, "(default)" after a default,
// "(unusable)" for a value the service would not start with.
std::string ShownValue(const SettingInEffect& setting);

}  // namespace qv
