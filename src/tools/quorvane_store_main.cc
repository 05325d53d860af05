// Program entry of quorvane-store, the calendar store's maintenance program.
#include <iostream>

#include "platform/process/module.h"
#include "tools/store_maintenance.h"

int main(int argc, char** argv) {
  qv::tools::ToolStreams io{std::cin, std::cout, std::cerr};
  return qv::tools::RunStoreMaintenance(std::vector<std::string>(argv + 1, argv + argc), io,
                                        qv::platform::GetModuleFileName());
}
