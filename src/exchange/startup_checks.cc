#include "exchange/startup_checks.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "config/settings_snapshot.h"
#include "exchange/messaging_library.h"
#include "logging/event_ids.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "support/convert.h"
#include "support/version_info.h"

namespace qv {

namespace {

constexpr const char* kServicePackMark = "Service Pack";
constexpr size_t kServicePackMarkLength = 12;
// Without the mark, the service pack is the Comments text from its twelfth character on.
constexpr size_t kServicePackFallbackStart = 11;

// The part of the Comments text after the first "Service Pack", to its end.
std::string ServicePackText(const std::string& comments) {
  const size_t mark = comments.find(kServicePackMark);
  if (mark != std::string::npos) return comments.substr(mark + kServicePackMarkLength);
  return comments.size() > kServicePackFallbackStart ? comments.substr(kServicePackFallbackStart)
                                                     : std::string();
}

}  // namespace

bool CheckCdoVersion(const platform::LocaleInfo& locale) {
  const char separator = locale.decimal_separator;
  std::string version;
  std::optional<std::string> error;
  try {
    // The session is released when this block is left, whatever happens in it.
    const std::shared_ptr<cdo::Session> session = cdo::CreateSession();
    version = session->Version();
    if (StrToFloat(version, separator) >= kRequiredCdoVersion) return true;
  } catch (const std::exception& raised) {
    error = raised.what();
  }
  if (error) {
    EventLog->WriteEvent(eltError, 0, QV_MSG_CDO_ERROR, *error);
    TraceWriter->Trace("CDO error " + *error, 1);
  } else {
    EventLog->WriteEvent(eltError, 0, QV_MSG_CDO_VERSION, version,
                         FloatToStr(kRequiredCdoVersion, separator));
    TraceWriter->Trace("CDO wrong Version: only " + version, 1);
  }
  return false;
}

bool CheckExchangeVersion(const platform::LocaleInfo& locale) {
  const char separator = locale.decimal_separator;
  // An error while the resource is read leaves the check: the start handler reports it.
  const TVersionInfo version_info(Config->GetExchangeImagePath());
  const std::string& product_version = version_info.ProductVersion();
  std::string service_pack;
  bool wrong_version = true;
  try {
    service_pack = ServicePackText(version_info.Comments());
    if (StrToFloat(product_version, separator) == kRequiredExchangeVersion) {
      if (StrToIntDef(service_pack, 0) >= kRequiredExchangeServicePack) return true;
      wrong_version = false;
    }
  } catch (const std::exception&) {
    // A ProductVersion that is no number in the locale's notation counts as the wrong version.
    wrong_version = true;
  }
  if (wrong_version) {
    EventLog->WriteEvent(eltError, 0, QV_MSG_EXCHANGE_VERSION, product_version,
                         FloatToStr(kRequiredExchangeVersion, separator));
    TraceWriter->Trace("Wrong Exchange Server Version: " + product_version, 1);
  } else {
    EventLog->WriteEvent(eltError, 0, QV_MSG_EXCHANGE_SERVICE_PACK, service_pack,
                         std::to_string(kRequiredExchangeServicePack));
    TraceWriter->Trace("Wrong Exchange Server ServicePack: " + service_pack, 1);
  }
  return false;
}

}  // namespace qv
