// A real WAP gateway (kannel's bearerbox and wapbox) on loopback for end-to-end tests, with a phone
// (kannel's fakewap) that fetches URLs through it. Driven through the script tests/e2e/wap-gateway,
// which also serves by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testing/e2e_script.h"

namespace qv::testing {

// What a phone received for one URL.
struct WapFetch {
  std::string status;     // the status of the WSP reply as an HTTP status code: "200", "502"
  bool compiled = false;  // a WBXML deck of WML 1.1 that wapbox compiled without complaint
  std::string body;       // the bytes the phone received: WBXML when compiled, else the source text
  std::vector<std::string> gateway_messages;  // wapbox's warnings and errors during the fetch
};

class WapGateway {
 public:
  // Starts a gateway of its own in a fresh directory, after any other run on this machine has ended
  // (the UDP ports are fixed). It stops by itself after lifetime_seconds should this object never
  // get to stop it. Raises EWapHarnessError when it does not come up.
  explicit WapGateway(uint32_t lifetime_seconds = 180);
  WapGateway(const WapGateway&) = delete;
  WapGateway& operator=(const WapGateway&) = delete;
  // Stops the gateway and removes its directory.
  ~WapGateway();

  // Fetches the URL as a phone does: the gateway requests it with an HTTP GET and compiles a WML
  // answer for the phone. Raises EWapHarnessError when no reply came.
  WapFetch Fetch(const std::string& url);

  const std::string& Directory() const { return directory_; }
  // wapbox's log so far, for the message of a failed test.
  std::string WapboxLog() const;

 private:
  std::string directory_;
  int fetches_ = 0;
};

}  // namespace qv::testing
