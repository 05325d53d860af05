// A fresh platform state directory for one test: created empty, named by QUORVANE_STATE_DIR while
// the object lives, and deleted with everything in it afterwards.
#pragma once

#include <optional>
#include <string>

namespace qv::testing {

class TestStateDir {
 public:
  TestStateDir();
  TestStateDir(const TestStateDir&) = delete;
  TestStateDir& operator=(const TestStateDir&) = delete;
  ~TestStateDir();

  const std::string& Path() const { return path_; }
  // A path inside the directory.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::optional<std::string> previous_;
};

}  // namespace qv::testing
