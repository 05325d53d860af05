// The parts of child processes that both platforms share: the calls that stand on the others.
#include "platform/process/process.h"

namespace qv::platform {

ChildProcess::~ChildProcess() {
  uint32_t ignored = 0;
  if (id_ != 0) Wait(&ignored);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
  return Start(program, arguments, "");
}

bool RunProgram(const std::string& program, const std::vector<std::string>& arguments, uint32_t* exit_code) {
  ChildProcess child;
  return child.Start(program, arguments) && child.Wait(exit_code);
}

}  // namespace qv::platform
