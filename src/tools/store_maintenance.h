// quorvane-store, the calendar store's maintenance program. Its program file stands for the Exchange
// information store's: it carries the version the service's start-up check asks for (ProductVersion
// 5.5, "Service Pack 2" in its Comments), and it is what the store registers as the information
// store's program. Its subcommands check and compact the store's database and register the program.
#pragma once

#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

// Runs the program with its arguments (the program name left out); own_file is the program's own
// file, which "register" registers. Exit codes: 0 done, 1 refused or a fault found, 2 a usage mistake.
int RunStoreMaintenance(const std::vector<std::string>& args, ToolStreams& io, const std::string& own_file);

}  // namespace qv::tools
