// The warning the tools give when they have just created the calendar store and could not register
// its maintenance program as the information store's program: without it the service refuses to start.
#pragma once

#include <iosfwd>
#include <string>

namespace qv {
class CalendarStore;
}

namespace qv::tools {

// Writes one "<tool>: warning: ..." line on err when the store was created by this object and its
// program is missing or could not be registered; nothing otherwise.
void WarnWhenStoreProgramUnregistered(const CalendarStore& store, const std::string& tool, std::ostream& err);

}  // namespace qv::tools
