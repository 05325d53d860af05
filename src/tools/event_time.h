// Times of the event log (seconds since 1970-01-01 00:00 UTC) as the events command shows and takes
// them.
#pragma once

#include <cstdint>
#include <string>

namespace qv::tools {

// "2024-05-01 12:00:03" in the machine's local time.
std::string LocalTimeText(int64_t unix_seconds);
// "2024-05-01T10:00:03Z".
std::string UtcTimeText(int64_t unix_seconds);

// A --since argument: "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" (also with T between), all local time;
// "today" and "yesterday" (local midnight), "now"; "-N" with a unit s, m, h or d (that long before
// now); "@N" (seconds since 1970). False for anything else.
bool ParseSinceTime(const std::string& text, int64_t now, int64_t* unix_seconds);

}  // namespace qv::tools
