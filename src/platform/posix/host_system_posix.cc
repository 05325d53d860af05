#include "platform/host_system.h"

namespace qv::platform {

bool RunsUnderWine() {
  return false;
}

}  // namespace qv::platform
