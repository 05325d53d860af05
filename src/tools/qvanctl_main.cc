// Program entry of the administrator's tool.
#include <iostream>

#include "tools/qvanctl.h"

int main(int argc, char** argv) {
  qv::tools::ToolStreams io{std::cin, std::cout, std::cerr};
  return qv::tools::RunQvanctl(std::vector<std::string>(argv + 1, argv + argc), io);
}
