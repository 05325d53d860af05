// Whether a WML deck gets through the WAP gateway's WML compiler (kannel's, called directly without a
// gateway): for unit tests of the pages that the service builds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv::testing {

struct WmlCheck {
  // Compiled into WBXML without any error from the compiler. The compiler reports some faults (a "$"
  // that starts no valid variable reference) as errors and still delivers a deck with the text
  // dropped; such a deck is not accepted.
  bool accepted = false;
  std::string wbxml;                  // what the compiler produced; empty when it gave up
  std::vector<std::string> messages;  // the compiler's warnings and errors, "ERROR: ..." and the like
};

// Compiles a deck as the gateway does for a phone: with the character set that the deck's XML
// declaration names. Raises EWapHarnessError when the compiler cannot be run.
WmlCheck CheckWmlDeck(std::string_view deck);

}  // namespace qv::testing
