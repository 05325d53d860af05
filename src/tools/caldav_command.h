// qvanctl caldav: what a CalDAV address offers a user, found as the service finds a bound mailbox's
// collection (store/caldav/discovery.h).
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RunCalDAVCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
