// TWCConfig: the settings snapshot. Its constructor reads every setting once from the registry, in
// a fixed order; the members never change afterwards, so every thread reads them without locking.
// The process-wide snapshot is Config.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings_registry.h"
#include "support/process_wide.h"

namespace qv {

class TWCConfig {
 public:
  // Reads the settings; a mistyped read-only setting or a refused write-back raises
  // ERegistryException, and an unusable registry store platform::ERegistryStoreError.
  TWCConfig();
  TWCConfig(const TWCConfig&) = delete;
  TWCConfig& operator=(const TWCConfig&) = delete;

 private:
  // Declared before the settings: it is made first and reads them.
  TWCRegistry registry_;

 public:
  const int32_t Port;
  const int32_t ServerTimeOut;  // milliseconds
  const int32_t SocketTimeOut;  // milliseconds
  const std::string DeckHeader;
  const std::string CharSet;
  const std::string LogFile;
  const bool logging;
  const std::string TraceFile;
  const int32_t TraceDetailness;
  const std::string ExchangeServer;
  const std::string DateFormat;
  const std::string TimeFormat;
  const int32_t MaxConnections;
  // Failed logons of one mailbox in a row before its password checks are spaced out, the first space
  // and the longest (milliseconds).
  const int32_t LogonFailureLimit;
  const int32_t LogonRetryDelay;
  const int32_t LogonRetryDelayMax;
  // Milliseconds a stop or pause lets the requests that arrived whole finish their answers.
  const int32_t StopTimeOut;
  // Seconds a verified logon is kept; 0 or below keeps none.
  const int32_t LogonCacheSeconds;
  // Mailboxes bound to CalDAV collections: the server's time-outs (milliseconds), the seconds between
  // two refreshes of a mirror, a private authority's certificate file.
  const int32_t CalDAVConnectTimeOut;
  const int32_t CalDAVReadTimeOut;
  const int32_t CalDAVRefreshSeconds;
  const std::string CalDAVCAFile;
  // The address of mailboxes that need no registration (empty: off), and the days one is kept unused.
  const std::string CalDAVCollectionTemplate;
  const int32_t CalDAVTemplateKeepDays;
  // The addresses the connection server listens on, as written; empty for every address.
  const std::string ListenAddress;

  // Installation and removal steps, and the information store's program path (read at each call).
  void WriteDescription() { registry_.WriteDescription(); }
  void RegisterEventMessageFile() { registry_.RegisterEventMessageFile(); }
  void DeleteEventSource() { registry_.DeleteEventSource(); }
  void DeleteDescription() { registry_.DeleteDescription(); }
  void DeleteEarlierDescription() { registry_.DeleteEarlierDescription(); }
  std::string GetExchangeImagePath() { return registry_.GetExchangeImagePath(); }
};

// The process-wide settings snapshot, installed by the program entry before any other process-wide
// object.
extern ProcessWide<TWCConfig> Config;

}  // namespace qv
