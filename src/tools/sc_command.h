// qvanctl sc: service control in the manner of the Windows sc command (query, start, stop, pause,
// continue a service).
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RunScCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
