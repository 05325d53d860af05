// qvanctl calendar: imports iCalendar files into the calendar store's mailboxes and exports them.
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RunCalendarCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
