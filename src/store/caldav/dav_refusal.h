// What a server means when it refuses a request with 401 or 403. 401 is always the credentials. A
// 403 may be the credentials as well (no body, or the privileges the user lacks: RFC 3744's
// DAV:need-privileges), or a precondition of the request that is no matter of the password (RFC 4918
// section 16: a DAV:error body naming it, such as DAV:supported-report from a server that does not
// offer a report, or DAV:valid-sync-token), or a refusal that says why in words of its own.
#pragma once

#include <string>
#include <string_view>

namespace qv::caldav {

struct Refusal {
  enum class Kind {
    kNone,          // no 401 or 403
    kCredentials,   // the user's password (or the user) is refused
    kPrecondition,  // `condition` names the precondition that failed
    kForbidden,     // refused for another reason; `text` is the start of what the server said
  };
  Kind kind = Kind::kNone;
  std::string condition;  // "DAV:supported-report", "CALDAV:...", or "{namespace}name"
  std::string text;       // at most kRefusalTextBytes printable ASCII characters
};

constexpr size_t kRefusalTextBytes = 160;

// Reads the status and body of an answer; a DAV:error body is read with the parser rules of the
// multistatus reader (no entities, nothing fetched).
Refusal ReadRefusal(long status, std::string_view body);

}  // namespace qv::caldav
