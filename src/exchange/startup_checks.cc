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
#include "platform/files/file_system.h"
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

struct InformationStoreVerdict {
  bool passed = false;
  bool wrong_version = true;  // else the service pack is too low
  std::string product_version;
  std::string service_pack;
};

InformationStoreVerdict JudgeInformationStore(const TVersionInfo& version_info, char separator) {
  InformationStoreVerdict verdict;
  verdict.product_version = version_info.ProductVersion();
  try {
    verdict.service_pack = ServicePackText(version_info.Comments());
    if (StrToFloat(verdict.product_version, separator) == kRequiredExchangeVersion) {
      verdict.wrong_version = false;
      verdict.passed = StrToIntDef(verdict.service_pack, 0) >= kRequiredExchangeServicePack;
    }
  } catch (const std::exception&) {
    // A ProductVersion that is no number in the locale's notation counts as the wrong version.
    verdict.wrong_version = true;
  }
  return verdict;
}

// The administrator's line for a refused information store: the calendar store stands in for it, and
// registering its maintenance program is the fix whatever was wrong.
std::string InformationStoreRefusal(const std::string& program, const InformationStoreVerdict& verdict) {
  constexpr const char* kFix = "; run: quorvane-store register";
  if (program.empty()) return std::string("the calendar store is not registered") + kFix;
  const std::string named = "the information store's program \"" + program + "\"";
  if (!platform::FileExists(program)) return named + " is not there" + kFix;
  if (verdict.wrong_version)
    return named + " has version \"" + verdict.product_version + "\", not 5.5 (the calendar store's)" + kFix;
  const size_t first = verdict.service_pack.find_first_not_of(' ');
  const std::string pack = first == std::string::npos ? std::string() : verdict.service_pack.substr(first);
  return named + " has service pack \"" + pack + "\", not 2 or later" + kFix;
}

}  // namespace

bool CheckCdoVersion(const platform::LocaleInfo& locale, std::string* refusal) {
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
    if (refusal) *refusal = "the messaging library cannot be used: " + *error;
  } else {
    const std::string required = FloatToStr(kRequiredCdoVersion, separator);
    EventLog->WriteEvent(eltError, 0, QV_MSG_CDO_VERSION, version, required);
    TraceWriter->Trace("CDO wrong Version: only " + version, 1);
    if (refusal)
      *refusal = "the messaging library has version " + version + "; " + required + " or later is needed";
  }
  return false;
}

bool CheckExchangeVersion(const platform::LocaleInfo& locale, std::string* refusal) {
  const char separator = locale.decimal_separator;
  const std::string program = Config->GetExchangeImagePath();
  // An error while the resource is read leaves the check: the start handler reports it.
  const InformationStoreVerdict verdict = JudgeInformationStore(TVersionInfo(program), separator);
  if (verdict.passed) return true;
  if (refusal) *refusal = InformationStoreRefusal(program, verdict);
  if (verdict.wrong_version) {
    EventLog->WriteEvent(eltError, 0, QV_MSG_EXCHANGE_VERSION, verdict.product_version,
                         FloatToStr(kRequiredExchangeVersion, separator));
    TraceWriter->Trace("Wrong Exchange Server Version: " + verdict.product_version, 1);
  } else {
    EventLog->WriteEvent(eltError, 0, QV_MSG_EXCHANGE_SERVICE_PACK, verdict.service_pack,
                         std::to_string(kRequiredExchangeServicePack));
    TraceWriter->Trace("Wrong Exchange Server ServicePack: " + verdict.service_pack, 1);
  }
  return false;
}

std::optional<std::string> InformationStoreProblem(const std::string& program,
                                                   const platform::LocaleInfo& locale) {
  const InformationStoreVerdict verdict =
      JudgeInformationStore(TVersionInfo(program), locale.decimal_separator);
  if (verdict.passed) return std::nullopt;
  return InformationStoreRefusal(program, verdict);
}

}  // namespace qv
