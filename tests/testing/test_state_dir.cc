#include "testing/test_state_dir.h"

#include "platform/environment.h"
#include "platform/file_system.h"

namespace qv::testing {

TestStateDir::TestStateDir()
    : path_(platform::CreateTemporaryDirectory("qvtest-")),
      previous_(platform::GetEnvironmentVariable("QUORVANE_STATE_DIR")) {
  platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", path_);
}

TestStateDir::~TestStateDir() {
  platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", previous_);
  platform::DeleteTree(path_);
}

}  // namespace qv::testing
