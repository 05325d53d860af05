// `qvanctl reg`: reads and changes the registry in the manner of the Windows reg command (query, add,
// delete, export, import).
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RegCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
