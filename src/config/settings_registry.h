// TWCRegistry: one operation per setting of the service (its value name, type, default and whether a
// missing value is written back come from the settings table, config/settings_table.h), the registry writes and deletes of installing and
// removing the service, and the program path of the Exchange information store. Every operation works
// below HKEY_LOCAL_MACHINE and leaves no key open.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings_table.h"
#include "config/typed_registry.h"

namespace qv {

class TWCRegistry : public TVeskRegistry {
 public:
  static constexpr const char* kSettingsKey = "\\Software\\HOLLBERG\\Qvan";
  static constexpr const char* kEventSourceKey =
      "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Qvan";
  static constexpr const char* kEventSourcesKey =
      "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application";
  // The service's own entry (its service name), where the description belongs.
  static constexpr const char* kDescriptionKey = "SYSTEM\\CurrentControlSet\\Services\\Quorvane";
  // Where earlier installations wrote the description: a key of its own beside the entries, which the
  // service control manager took for a service named Qvan.
  static constexpr const char* kEarlierDescriptionKey = "SYSTEM\\CurrentControlSet\\Services\\Qvan";
  static constexpr const char* kExchangeStoreKey = "SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS";

  // Written back when missing or mistyped: Port, DeckHeader, LogFile, logging.
  int32_t GetPort();
  std::string GetDeckHeader();
  std::string GetLogFile();
  bool GetLogging();
  // Read only: the default when the key or value is missing; a mistyped value raises
  // ERegistryException.
  int32_t GetServerTimeOut();
  int32_t GetSocketTimeOut();
  std::string GetCharSet();
  std::string GetTraceFile();
  int32_t GetTraceDetailness();
  std::string GetDateFormat();
  std::string GetTimeFormat();
  int32_t GetMaxConnections();
  // The spacing of a mailbox's password checks after failed logons, and the time a stop or pause
  // gives the requests that arrived whole: read only, REG_DWORD.
  int32_t GetLogonFailureLimit();
  int32_t GetLogonRetryDelay();
  int32_t GetLogonRetryDelayMax();
  int32_t GetStopTimeOut();
  // How long a verified logon is kept (seconds; 0 keeps none): read only, REG_DWORD.
  int32_t GetLogonCacheSeconds();
  // A CalDAV server's time-outs (milliseconds: to connect, then for one request's answer), the seconds
  // between two refreshes of a bound mailbox's mirror (0: every request) and a private authority's
  // certificates (a file; empty: the system's store): read only, REG_DWORD and REG_SZ.
  int32_t GetCalDAVConnectTimeOut();
  int32_t GetCalDAVReadTimeOut();
  int32_t GetCalDAVRefreshSeconds();
  std::string GetCalDAVCAFile();
  // The address of mailboxes that need no registration ({mailbox} for the name; empty: off) and the
  // days such a mailbox is kept after its last logon: read only, REG_SZ and REG_DWORD.
  std::string GetCalDAVCollectionTemplate();
  int32_t GetCalDAVTemplateKeepDays();
  // The addresses to listen on, as written (commas or blanks between them; empty: every address):
  // read only, REG_SZ or REG_EXPAND_SZ.
  std::string GetListenAddress();
  // Always "127.0.0.1"; no registry value.
  std::string GetExchangeServer();

  // Installation and removal.
  void RegisterEventMessageFile();
  void DeleteEventSource();
  void WriteDescription();
  void DeleteDescription();
  // Deletes the key an earlier installation wrote the description into, when it holds nothing else.
  void DeleteEarlierDescription();
  // The information store's program path; empty when the key or value is missing.
  std::string GetExchangeImagePath();

  // The default paths, beside the program: its directory + "Qvan" + ".log" or ".trace".
  static std::string DefaultLogFile();
  static std::string DefaultTraceFile();
  // A setting's default as the reader uses it: the table's text, or the file beside the program, or
  // the locale's pattern.
  static std::string SettingDefaultText(const SettingRow& row);

 private:
  // Root key HKEY_LOCAL_MACHINE and the given key path.
  void Select(const char* key_path);
  int32_t ReadOnlyInteger(const char* key_path, const std::string& name, int32_t default_value);
  std::string ReadOnlyText(const char* key_path, const std::string& name, const std::string& default_value);
  // A setting of the service's key by its row: read only, or written back when missing or mistyped.
  int32_t ReadSetting(const SettingRow& row);
  std::string ReadTextSetting(const SettingRow& row);
};

}  // namespace qv
