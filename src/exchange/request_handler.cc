#include "exchange/request_handler.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "config/settings_snapshot.h"
#include "exchange/calendar_pages.h"
#include "exchange/deck_settings.h"
#include "exchange/logon_cache.h"
#include "exchange/logon_throttle.h"
#include "exchange/response_envelope.h"
#include "logging/event_ids.h"
#include "logging/exception_report.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "net/server_client_thread.h"
#include "platform/errors/last_error.h"
#include "platform/text/ascii_text.h"
#include "support/win_error_text.h"

namespace qv {

namespace {

constexpr const char* kUnknownUser = "Unknown";

// The bytes of the pairs of hexadecimal digits, first pair first; an odd last digit is ignored.
platform::Sid SidFromHex(const std::string& text) {
  platform::Sid sid;
  sid.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    const int high = HexDigitValue(text[i]);
    const int low = HexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) throw EConvertError("'$" + text.substr(i, 2) + "' is not a valid integer value");
    sid += static_cast<char>(high * 16 + low);
  }
  return sid;
}

// The token of a logon that the cache vouches for: the account its check found.
class CachedLogonToken final : public platform::AccessToken {
 public:
  explicit CachedLogonToken(TLogonCache::Account account) : account_(std::move(account)) {}
  const std::string& UserName() const override { return account_.UserName; }
  const std::string& Domain() const override { return account_.Domain; }
  const platform::Sid& UserSid() const override { return account_.UserSid; }

 private:
  const TLogonCache::Account account_;
};

std::string IdentityText(const void* address) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(address)));
  return text;
}

}  // namespace

TWCExchange::TWCExchange(net::TServerClientThread* thread)
    : Thread(thread), Session(cdo::CreateSession()), session_id_(IdentityText(&Session)) {
  if (TraceWriter->TraceDetailness >= 3) TraceWriter->Trace("Exchange Session start: $" + session_id_, 3);
}

TWCExchange::~TWCExchange() {
  if (Session != nullptr && LoggedOn) {
    try {
      Session->Logoff();
    } catch (const std::exception& error) {
      // A destructor cannot pass the error on; the trace keeps it.
      TraceExceptionReport(error.what(), "TWCExchange");
    }
  }
  Session.reset();
  LogonToken.reset();
  if (TraceWriter.Exists() && TraceWriter->TraceDetailness >= 3)
    TraceWriter->Trace("Exchange Session end: $" + session_id_, 3);
}

std::string TWCExchange::ClientAddress() const {
  if (Thread == nullptr || Thread->ClientSocket() == nullptr) return std::string();
  return Thread->ClientSocket()->PeerAddress();
}

std::string TWCExchange::GetResponse() {
  std::string body;
  bool calendar_page = false;
  if (Mailbox.empty()) {
    body = LogonFormBody();
  } else {
    std::string reason;
    if (LogonMailbox(&reason)) {
      TraceWriter->Trace("Login successful", 2);
      body = PageKind == "CO" ? GetCalendarOneAppointment() : GetCalendarAppointmentList();
      calendar_page = true;
    } else {
      body = ErrorCardBody(reason);
      TraceWriter->Trace(
          "Exchange Session: $" + session_id_ + " Request rejected: " + reason + " MailBox: " + Mailbox, 2);
    }
  }
  std::string response = DeckResponse(body);
  if (TraceWriter->TraceDetailness == 3) {
    TraceWriter->Trace("MaxChar: " + std::to_string(MaxPdu) + "Char:" + std::to_string(response.size()) +
                           "Body: \r\n" + response,
                       3);
  }
  // A calendar page goes over the limit only where its budget cannot hold the one appointment it
  // always shows; the logon form and the error card are never cut.
  if (calendar_page && response.size() > static_cast<size_t>(std::max<int32_t>(MaxPdu, 0)) &&
      TraceWriter->TraceDetailness >= 3) {
    TraceWriter->Trace("Page over MaxPdu: " + std::to_string(response.size()) + " bytes for a limit of " +
                           std::to_string(MaxPdu),
                       3);
  }
  return response;
}

bool TWCExchange::RefuseLogon(std::string* reason) {
  *reason = kLogonRefused;
  EventLog->WriteEvent(eltError, 0, QV_MSG_LOGON_FAILED, ClientAddress(), Mailbox);
  return false;
}

bool TWCExchange::LogonMailbox(std::string* reason) {
  const std::string profile_info = Config->ExchangeServer + "\r\n" + Mailbox;
  Session->Logon(std::nullopt, std::nullopt, false, true, 0, true, profile_info);
  LoggedOn = true;
  if (LogonThrottle.Exists() && !LogonThrottle->MayCheck(Mailbox)) {
    TraceWriter->Trace(
        "Exchange Session: $" + session_id_ + " Logon not checked, too many failures: " + Mailbox, 2);
    return RefuseLogon(reason);
  }
  bool server_unavailable = false;
  const bool accepted = CheckPassword(&server_unavailable);
  // A server that cannot answer says nothing of the password: no failure to space out.
  if (LogonThrottle.Exists() && !server_unavailable) {
    if (accepted)
      LogonThrottle->Succeeded(Mailbox);
    else
      LogonThrottle->Failed(Mailbox);
  }
  if (!accepted && server_unavailable) {
    // Event 120 told the server and the reason; the password was not refused.
    *reason = kLogonRefused;
    return false;
  }
  if (!accepted) return RefuseLogon(reason);
  if (TraceWriter->TraceDetailness >= 3)
    TraceWriter->Trace("Exchange Session: $" + session_id_ + " Logon succesfull: " + Mailbox, 3);
  return true;
}

bool TWCExchange::CheckPassword(bool* server_unavailable) {
  const auto user = Session->CurrentUser();
  if (user->Name() == kUnknownUser) {
    platform::CheckPasswordOfNoAccount(Password);
    return false;
  }
  try {
    if (const std::optional<bool> accepted = Session->CheckMailboxPassword(Password)) return *accepted;
  } catch (const EOleException& error) {
    if (error.ErrorCode != cdo::MAPI_E_NETWORK_ERROR) throw;
    // The mailbox's own server is down or slow: the phone gets the error card at once, the event log
    // the server and the reason.
    EventLog->WriteEvent(eltError, 0, QV_MSG_CDO_ERROR, error.what());
    TraceWriter->Trace("Exchange Session: $" + session_id_ + " " + error.what(), 1);
    *server_unavailable = true;
    return false;
  }
  return CheckNtAccount(user->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT)->Value());
}

bool TWCExchange::CheckNtAccount(const std::string& sid_text) {
  const platform::Sid sid = SidFromHex(sid_text);
  if (!LogonCache.Exists()) return CheckAccountPassword(sid, sid_text);
  // The version first: a change of the accounts while the check runs leaves its entry stale.
  const std::optional<uint64_t> version = LogonCache->AccountsVersion();
  if (auto account = LogonCache->Find(sid, Password, version)) {
    LogonToken = std::make_unique<CachedLogonToken>(std::move(*account));
    return true;
  }
  if (!CheckAccountPassword(sid, sid_text)) return false;
  LogonCache->Remember(sid, Password, {LogonToken->UserName(), LogonToken->Domain(), LogonToken->UserSid()},
                       version);
  return true;
}

bool TWCExchange::CheckAccountPassword(const platform::Sid& sid, const std::string& sid_text) {
  // The names come whole: the platform's lookup has no fixed buffers to overflow, so an owner whose
  // name is longer than a Windows name buffer still logs on.
  std::string user_name;
  std::string domain;
  if (platform::LookupAccountSid(sid, &user_name, &domain)) {
    std::unique_ptr<platform::AccessToken> token;
    if (!platform::LogonUser(user_name, domain, Password, platform::LogonType::kNetwork, &token))
      return false;
    LogonToken = std::move(token);
    return true;
  }
  const std::string error_text = GetWinErrorText(static_cast<int32_t>(platform::GetLastError()));
  TraceExceptionReport(error_text, "TWCExchange", nullptr, [&] {
    return "LastError: " + error_text + " sSID: " + sid_text + " sBufUserName: " + user_name +
           " sBufDomain: " + domain;
  });
  ReportWCException(error_text);  // recorded, not raised: the handler answers the failed logon itself
  platform::CheckPasswordOfNoAccount(Password);  // as long as a refused password takes
  return false;
}

std::string TWCExchange::GetCalendarOneAppointment() {
  TraceWriter->Trace("GetCalendarOneAppointment", 3);
  TWCCalendar calendar(Session, Mailbox, Password, Position, MaxPdu);
  return calendar.GetAppointment();
}

std::string TWCExchange::GetCalendarAppointmentList() {
  if (Position.empty()) Position = "0";
  TraceWriter->Trace("GetCalendarAppointmentList", 3);
  TWCCalendar calendar(Session, Mailbox, Password, Position, MaxPdu);
  return calendar.GetAppointmentList();
}

}  // namespace qv
