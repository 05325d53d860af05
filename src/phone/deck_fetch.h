// One request to the service as a WAP gateway sends it for a phone: a GET that names the phone's
// largest message in "x-up-devcap-max-pdu", the answer read whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv::phone {

// More than this is not read: no deck comes near it, and a service gone wrong cannot fill the memory.
constexpr size_t kMaxAnswerBytes = 1 << 20;

struct FetchedDeck {
  long status = 0;           // the HTTP status
  std::string content_type;  // as the answer names it; empty when it names none
  std::string body;
  bool cut = false;  // longer than kMaxAnswerBytes: the body holds the first kMaxAnswerBytes
};

// Raises EServiceUnreachable, its message in plain words, when no answer comes: no connection, a
// time-out (5 s to connect, 20 s in all), a connection cut short.
FetchedDeck FetchDeck(const std::string& url, int32_t max_pdu);

}  // namespace qv::phone
