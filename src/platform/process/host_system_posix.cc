#include "platform/process/host_system.h"

namespace qv::platform {

bool RunsOnWindows() {
  return false;
}

bool RunsUnderWine() {
  return false;
}

}  // namespace qv::platform
