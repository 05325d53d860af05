// The request handler: one per request. It logs on to the requested mailbox, checks the password
// against the account that owns the mailbox, and answers with the complete HTTP response, a WML deck
// holding the logon form, an error card or a calendar page.
#pragma once

#include <cstdint>
#include <string>

namespace qv::platform {
class TServerClientThread;
}

namespace qv {

class TWCExchange {
 public:
  // The request thread gives the client's remote address for event messages; without one (tests)
  // the address is empty.
  explicit TWCExchange(platform::TServerClientThread* thread);
  TWCExchange(const TWCExchange&) = delete;
  TWCExchange& operator=(const TWCExchange&) = delete;
  ~TWCExchange();

  // The complete response: HTTP header and WML deck. Errors of the messaging library leave it.
  std::string GetResponse();

  // The request's values, set by the request thread before GetResponse.
  std::string Mailbox;   // U
  std::string Password;  // P
  std::string PageKind;  // E
  std::string Position;  // X
  int32_t MaxPdu = 1000;
};

}  // namespace qv
