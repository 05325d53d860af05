#include "config/wc_registry.h"

#include "platform/locale.h"
#include "platform/module.h"
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

std::string TWCRegistry::DefaultLogFile() {
  return ExtractFilePath(platform::GetModuleFileName()) + "Qvan" + ".log";
}

std::string TWCRegistry::DefaultTraceFile() {
  return ExtractFilePath(platform::GetModuleFileName()) + "Qvan" + ".trace";
}

int32_t TWCRegistry::GetPort() {
  Select(kSettingsKey);
  return ReadIntegerDef("Port", 80);
}

int32_t TWCRegistry::GetServerTimeOut() {
  return ReadOnlyInteger(kSettingsKey, "ServerTimeOut", 60000);
}

int32_t TWCRegistry::GetSocketTimeOut() {
  return ReadOnlyInteger(kSettingsKey, "SocketTimeOut", 1000);
}

std::string TWCRegistry::GetDeckHeader() {
  Select(kSettingsKey);
  return ReadStringDef("DeckHeader", "Quorvane");
}

std::string TWCRegistry::GetCharSet() {
  return ReadOnlyText(kSettingsKey, "CharSet", "iso-8859-1");
}

std::string TWCRegistry::GetLogFile() {
  Select(kSettingsKey);
  return ReadStringDef("LogFile", DefaultLogFile());
}

bool TWCRegistry::GetLogging() {
  Select(kSettingsKey);
  return ReadBoolDef("logging", true);
}

std::string TWCRegistry::GetTraceFile() {
  return ReadOnlyText(kSettingsKey, "TraceFile", DefaultTraceFile());
}

int32_t TWCRegistry::GetTraceDetailness() {
  return ReadOnlyInteger(kSettingsKey, "TraceDetailness", 0);
}

std::string TWCRegistry::GetExchangeServer() {
  return "127.0.0.1";
}

std::string TWCRegistry::GetDateFormat() {
  return ReadOnlyText(kSettingsKey, "DateFormat", platform::CurrentLocale().short_date_format);
}

std::string TWCRegistry::GetTimeFormat() {
  return ReadOnlyText(kSettingsKey, "TimeFormat", platform::CurrentLocale().short_time_format);
}

int32_t TWCRegistry::GetMaxConnections() {
  return ReadOnlyInteger(kSettingsKey, "MaxConnections", 20);
}

int32_t TWCRegistry::GetLogonFailureLimit() {
  return ReadOnlyInteger(kSettingsKey, "LogonFailureLimit", 5);
}

int32_t TWCRegistry::GetLogonRetryDelay() {
  return ReadOnlyInteger(kSettingsKey, "LogonRetryDelay", 1000);
}

int32_t TWCRegistry::GetLogonRetryDelayMax() {
  return ReadOnlyInteger(kSettingsKey, "LogonRetryDelayMax", 60000);
}

int32_t TWCRegistry::GetStopTimeOut() {
  return ReadOnlyInteger(kSettingsKey, "StopTimeOut", 5000);
}

int32_t TWCRegistry::GetLogonCacheSeconds() {
  return ReadOnlyInteger(kSettingsKey, "LogonCacheSeconds", 300);
}

int32_t TWCRegistry::GetCalDAVConnectTimeOut() {
  return ReadOnlyInteger(kSettingsKey, "CalDAVConnectTimeOut", 3000);
}

int32_t TWCRegistry::GetCalDAVReadTimeOut() {
  return ReadOnlyInteger(kSettingsKey, "CalDAVReadTimeOut", 5000);
}

int32_t TWCRegistry::GetCalDAVRefreshSeconds() {
  return ReadOnlyInteger(kSettingsKey, "CalDAVRefreshSeconds", 10);
}

std::string TWCRegistry::GetCalDAVCAFile() {
  return ReadOnlyText(kSettingsKey, "CalDAVCAFile", "");
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
