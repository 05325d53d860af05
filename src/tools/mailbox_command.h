// qvanctl mailbox: the calendar store's mailboxes with their display names and owning accounts.
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RunMailboxCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
