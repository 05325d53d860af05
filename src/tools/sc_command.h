// qvanctl sc: service control in the manner of the Windows sc command (query, start, stop, pause,
// continue a service). Stop, pause and continue show the state the service reports on taking the
// control (the pending one, as a rule) and wait no further; start adds the process id and flags, as
// sc's status after a start does.
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RunScCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
