// `qvanctl events`: lists the events of the application log with their message texts, and writes
// one event in the manner of Write-EventLog. The listing reads the log backwards and filters as it
// goes; each source's message files are looked up once per listing.
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RunEventsCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
