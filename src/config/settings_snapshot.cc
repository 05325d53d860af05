#include "config/settings_snapshot.h"

namespace qv {

constinit ProcessWide<TWCConfig> Config("Config");

// The initialisers run in the order of the members' declarations, which is the order the settings
// are read in.
TWCConfig::TWCConfig()
    : Port(registry_.GetPort()),
      ServerTimeOut(registry_.GetServerTimeOut()),
      SocketTimeOut(registry_.GetSocketTimeOut()),
      DeckHeader(registry_.GetDeckHeader()),
      CharSet(registry_.GetCharSet()),
      LogFile(registry_.GetLogFile()),
      logging(registry_.GetLogging()),
      TraceFile(registry_.GetTraceFile()),
      TraceDetailness(registry_.GetTraceDetailness()),
      ExchangeServer(registry_.GetExchangeServer()),
      DateFormat(registry_.GetDateFormat()),
      TimeFormat(registry_.GetTimeFormat()),
      MaxConnections(registry_.GetMaxConnections()),
      LogonFailureLimit(registry_.GetLogonFailureLimit()),
      LogonRetryDelay(registry_.GetLogonRetryDelay()),
      LogonRetryDelayMax(registry_.GetLogonRetryDelayMax()),
      StopTimeOut(registry_.GetStopTimeOut()),
      LogonCacheSeconds(registry_.GetLogonCacheSeconds()),
      CalDAVConnectTimeOut(registry_.GetCalDAVConnectTimeOut()),
      CalDAVReadTimeOut(registry_.GetCalDAVReadTimeOut()),
      CalDAVRefreshSeconds(registry_.GetCalDAVRefreshSeconds()),
      CalDAVCAFile(registry_.GetCalDAVCAFile()),
      CalDAVCollectionTemplate(registry_.GetCalDAVCollectionTemplate()),
      CalDAVTemplateKeepDays(registry_.GetCalDAVTemplateKeepDays()),
      ListenAddress(registry_.GetListenAddress()) {}

}  // namespace qv
