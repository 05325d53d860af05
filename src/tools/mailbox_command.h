// qvanctl mailbox: the calendar store's mailboxes with their display names and owning accounts. An
// owner must be a user account of either authority; the display name "Unknown" is refused, since the
// service takes a user of that name for a failed logon.
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RunMailboxCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
