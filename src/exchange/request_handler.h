// The request handler: one per request. It logs on to the requested mailbox, checks the password
// against the account that owns the mailbox, and answers with the complete HTTP response, a WML deck
// holding the logon form, an error card or a calendar page.
//
// No mailbox gives the logon form; the page kind "CO", exactly, gives the one appointment, anything
// else the list. The status is 200 whatever the outcome. A logoff that fails in the destructor goes
// to the trace as an exception report and is dropped: a destructor cannot pass it on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "exchange/messaging_library.h"
#include "platform/accounts/accounts.h"

namespace qv::net {
class TServerClientThread;
}

namespace qv {

class TWCExchange {
 public:
  // The request thread gives the client's remote address for event messages; without one (tests)
  // the address is empty. Creates the messaging library's session; its error leaves the construction.
  explicit TWCExchange(net::TServerClientThread* thread);
  TWCExchange(const TWCExchange&) = delete;
  TWCExchange& operator=(const TWCExchange&) = delete;
  // Logs the session off when it logged on, and ends the account's logon.
  ~TWCExchange();

  // The complete response: HTTP header and WML deck. Errors of the messaging library leave it.
  std::string GetResponse();

  // The request's values, set by the request thread before GetResponse.
  std::string Mailbox;   // U
  std::string Password;  // P
  std::string PageKind;  // E
  std::string Position;  // X
  int32_t MaxPdu = 1000;

  // Logs the session on to Mailbox and checks Password against the mailbox's owner. On failure the
  // reason is "Could not logon you" and event 122 names the client and the mailbox. A mailbox whose
  // logons keep failing is checked at most once per interval (LogonThrottle): inside it the logon is
  // refused so, without a check. A name without a mailbox costs a password check all the same. A
  // mailbox bound to a CalDAV collection is checked by its server (HTTP Basic with its user and
  // Password); a server that cannot answer refuses the logon too, but is no failure of the mailbox.
  bool LogonMailbox(std::string* reason);
  // Resolves the owner's account from its SID in hexadecimal (two digits a byte; a pair that is no
  // hexadecimal number raises EConvertError) and checks Password with a network logon. A SID that no
  // authority knows is reported (exception report, event 50) and answers false, as a refused
  // password does. With a LogonCache installed, a check that it still vouches for is not repeated,
  // and a successful one is kept.
  bool CheckNtAccount(const std::string& sid_text);
  // The page bodies, from a calendar object made for this one page.
  std::string GetCalendarOneAppointment();
  std::string GetCalendarAppointmentList();

  // The handler's identity in trace lines: 8 upper-case hexadecimal digits.
  const std::string& SessionId() const { return session_id_; }
  // The client's remote address as its connection was accepted (kept when a stop closes the socket
  // meanwhile); empty without a request thread or client socket.
  std::string ClientAddress() const;

  static constexpr const char* kLogonRefused = "Could not logon you";

  net::TServerClientThread* const Thread;
  std::shared_ptr<cdo::Session> Session;
  // The owner's logon, set by a successful CheckNtAccount.
  std::unique_ptr<platform::AccessToken> LogonToken;
  // True once the session's logon call has returned.
  bool LoggedOn = false;

 private:
  bool RefuseLogon(std::string* reason);
  // The owner's check, or a check that costs as much for a name that has no mailbox; for a mailbox
  // whose own server checks passwords (CalDAV), that server's answer. A server that cannot answer
  // refuses the logon with event 120 naming it and the reason (and no event 122), and sets
  // server_unavailable.
  bool CheckPassword(bool* server_unavailable);
  // The lookup and the network logon themselves; LogonToken on success.
  bool CheckAccountPassword(const platform::Sid& sid, const std::string& sid_text);

  std::string session_id_;
};

}  // namespace qv
