// The parts of child processes that both platforms share: the forms that stand on the others.
#include "platform/process/process.h"

namespace qv::platform {

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
  return Start(program, arguments, "");
}

bool RunProgram(const std::string& program, const std::vector<std::string>& arguments, uint32_t* exit_code) {
  ChildProcess child;
  return child.Start(program, arguments) && child.Wait(exit_code);
}

}  // namespace qv::platform
