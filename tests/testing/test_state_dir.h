// A fresh platform state directory for one test: created empty, named by QUORVANE_STATE_DIR while
// the object lives, and deleted with everything in it afterwards.
//
// Where the registry is the system's (Windows: no hive file in the state directory), the test gets a
// registry of its own as well: the predefined roots are mapped to fresh keys of the current user for
// the object's lifetime (RegOverridePredefKey), and those keys are deleted afterwards.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace qv::testing {

class TestStateDir {
 public:
  TestStateDir();
  TestStateDir(const TestStateDir&) = delete;
  TestStateDir& operator=(const TestStateDir&) = delete;
  ~TestStateDir();

  const std::string& Path() const { return path_; }
  // A path inside the directory.
  std::string File(const std::string& name) const;

 private:
  void RedirectRegistry();
  void RestoreRegistry();

  std::string path_;
  std::optional<std::string> previous_;
  std::string registry_key_;  // below HKEY_CURRENT_USER; empty when the registry is not redirected
  std::vector<platform::HKEY> redirected_roots_;
};

}  // namespace qv::testing
