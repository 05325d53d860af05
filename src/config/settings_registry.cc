#include "config/settings_registry.h"

#include "platform/locale/locale.h"
#include "platform/process/module.h"
#include "support/general_functions.h"

namespace qv {

namespace {

constexpr const char* kDescription = "Read Exchange dates on Wap-Phones";

}  // namespace

void TWCRegistry::Select(const char* key_path) {
  SetRootKey(platform::HKEY_LOCAL_MACHINE);
  KeyPath = key_path;
}

int32_t TWCRegistry::ReadOnlyInteger(const char* key_path, const std::string& name, int32_t default_value) {
  Select(key_path);
  KeyCloser closer(*this);
  if (OpenRegKey(KeyPath, false) && ValueExists(name)) return ReadInteger(name);
  return default_value;
}

std::string TWCRegistry::ReadOnlyText(const char* key_path, const std::string& name,
                                      const std::string& default_value) {
  Select(key_path);
  KeyCloser closer(*this);
  if (OpenRegKey(KeyPath, false) && ValueExists(name)) return ReadString(name);
  return default_value;
}

int32_t TWCRegistry::ReadSetting(const SettingRow& row) {
  const std::string name(row.name);
  if (!row.written_back) return ReadOnlyInteger(kSettingsKey, name, row.number);
  Select(kSettingsKey);
  return ReadIntegerDef(name, row.number);
}

std::string TWCRegistry::ReadTextSetting(const SettingRow& row) {
  const std::string name(row.name);
  const std::string default_value = SettingDefaultText(row);
  if (!row.written_back) return ReadOnlyText(kSettingsKey, name, default_value);
  Select(kSettingsKey);
  return ReadStringDef(name, default_value);
}

std::string TWCRegistry::SettingDefaultText(const SettingRow& row) {
  switch (row.source) {
    case SettingDefault::kBesideProgram:
      return ExtractFilePath(platform::GetModuleFileName()) + std::string(row.text);
    case SettingDefault::kLocaleShortDate:
      return platform::CurrentLocale().short_date_format;
    case SettingDefault::kLocaleShortTime:
      return platform::CurrentLocale().short_time_format;
    case SettingDefault::kFixed:
      break;
  }
  return std::string(row.text);
}

std::string TWCRegistry::DefaultLogFile() {
  return SettingDefaultText(Setting("LogFile"));
}

std::string TWCRegistry::DefaultTraceFile() {
  return SettingDefaultText(Setting("TraceFile"));
}

int32_t TWCRegistry::GetPort() {
  return ReadSetting(Setting("Port"));
}

int32_t TWCRegistry::GetServerTimeOut() {
  return ReadSetting(Setting("ServerTimeOut"));
}

int32_t TWCRegistry::GetSocketTimeOut() {
  return ReadSetting(Setting("SocketTimeOut"));
}

std::string TWCRegistry::GetDeckHeader() {
  return ReadTextSetting(Setting("DeckHeader"));
}

std::string TWCRegistry::GetCharSet() {
  return ReadTextSetting(Setting("CharSet"));
}

std::string TWCRegistry::GetLogFile() {
  return ReadTextSetting(Setting("LogFile"));
}

bool TWCRegistry::GetLogging() {
  const SettingRow& row = Setting("logging");
  Select(kSettingsKey);
  return ReadBoolDef(std::string(row.name), row.number != 0);
}

std::string TWCRegistry::GetTraceFile() {
  return ReadTextSetting(Setting("TraceFile"));
}

int32_t TWCRegistry::GetTraceDetailness() {
  return ReadSetting(Setting("TraceDetailness"));
}

std::string TWCRegistry::GetExchangeServer() {
  return "127.0.0.1";
}

std::string TWCRegistry::GetDateFormat() {
  return ReadTextSetting(Setting("DateFormat"));
}

std::string TWCRegistry::GetTimeFormat() {
  return ReadTextSetting(Setting("TimeFormat"));
}

int32_t TWCRegistry::GetMaxConnections() {
  return ReadSetting(Setting("MaxConnections"));
}

int32_t TWCRegistry::GetLogonFailureLimit() {
  return ReadSetting(Setting("LogonFailureLimit"));
}

int32_t TWCRegistry::GetLogonRetryDelay() {
  return ReadSetting(Setting("LogonRetryDelay"));
}

int32_t TWCRegistry::GetLogonRetryDelayMax() {
  return ReadSetting(Setting("LogonRetryDelayMax"));
}

int32_t TWCRegistry::GetStopTimeOut() {
  return ReadSetting(Setting("StopTimeOut"));
}

int32_t TWCRegistry::GetLogonCacheSeconds() {
  return ReadSetting(Setting("LogonCacheSeconds"));
}

int32_t TWCRegistry::GetCalDAVConnectTimeOut() {
  return ReadSetting(Setting("CalDAVConnectTimeOut"));
}

int32_t TWCRegistry::GetCalDAVReadTimeOut() {
  return ReadSetting(Setting("CalDAVReadTimeOut"));
}

int32_t TWCRegistry::GetCalDAVRefreshSeconds() {
  return ReadSetting(Setting("CalDAVRefreshSeconds"));
}

std::string TWCRegistry::GetCalDAVCAFile() {
  return ReadTextSetting(Setting("CalDAVCAFile"));
}

std::string TWCRegistry::GetCalDAVCollectionTemplate() {
  return ReadTextSetting(Setting("CalDAVCollectionTemplate"));
}

int32_t TWCRegistry::GetCalDAVTemplateKeepDays() {
  return ReadSetting(Setting("CalDAVTemplateKeepDays"));
}

std::string TWCRegistry::GetListenAddress() {
  return ReadTextSetting(Setting("ListenAddress"));
}

void TWCRegistry::RegisterEventMessageFile() {
  Select(kEventSourceKey);
  PutString("EventMessageFile", platform::GetModuleFileName());
}

void TWCRegistry::DeleteEventSource() {
  Select(kEventSourcesKey);
  KeyCloser closer(*this);
  if (OpenRegKey(KeyPath, false) && KeyExists("Qvan")) DeleteKey("Qvan");
}

void TWCRegistry::WriteDescription() {
  Select(kDescriptionKey);
  PutString("Description", kDescription);
}

void TWCRegistry::DeleteDescription() {
  Select(kDescriptionKey);
  KeyCloser closer(*this);
  if (OpenRegKey(KeyPath, false) && ValueExists("Description")) DeleteValue("Description");
}

void TWCRegistry::DeleteEarlierDescription() {
  Select(kEarlierDescriptionKey);
  {
    KeyCloser closer(*this);
    if (!OpenRegKey(KeyPath, false)) return;
    // A key that holds more than the description is something else's: it stays.
    if (!GetKeyNames().empty()) return;
    for (const std::string& name : GetValueNames())
      if (name != "Description") return;
  }
  Select("SYSTEM\\CurrentControlSet\\Services");
  KeyCloser closer(*this);
  if (OpenRegKey(KeyPath, false) && KeyExists("Qvan")) DeleteKey("Qvan");
}

std::string TWCRegistry::GetExchangeImagePath() {
  return ReadOnlyText(kExchangeStoreKey, "ImagePath", "");
}

}  // namespace qv
