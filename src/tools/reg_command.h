// `qvanctl reg`: reads and changes the registry in the manner of the Windows reg command (query, add,
// delete, export, import). Options are known only by their names (/v, /ve, /va, /t, /d, /s, /f, /y,
// or with a dash), so a file path that begins with a slash stays an argument; key paths take
// backslashes alone, since a key name may hold a slash. An import checks the whole file before it
// changes anything.
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

int RegCommand(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
