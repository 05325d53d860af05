#include "testing/test_state_dir.h"

#include <stdexcept>

#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "testing/machine_registry.h"

namespace qv::testing {

namespace {

using platform::HKEY;

constexpr const char* kTestRegistryKey = "Software\\Quorvane tests";

// The roots a test may touch, with the names of the keys standing in for them.
struct Root {
  HKEY key;
  const char* name;
};
constexpr Root kRoots[] = {{platform::HKEY_LOCAL_MACHINE, "HKLM"},
                           {platform::HKEY_CURRENT_USER, "HKCU"},
                           {platform::HKEY_CLASSES_ROOT, "HKCR"},
                           {platform::HKEY_USERS, "HKU"}};

}  // namespace

TestStateDir::TestStateDir()
    : path_(platform::CreateTemporaryDirectory("qvtest-")),
      previous_(platform::GetEnvironmentVariable("QUORVANE_STATE_DIR")) {
  platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", path_);
  if (platform::RegistryHiveFile().empty()) RedirectRegistry();
}

TestStateDir::~TestStateDir() {
  RestoreRegistry();
  platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", previous_);
  platform::DeleteTree(path_);
}

std::string TestStateDir::File(const std::string& name) const {
  return path_ + platform::PathDelimiter() + name;
}

void TestStateDir::RedirectRegistry() {
  // Named after the directory, which is unique, so tests running at once never meet.
  std::string leaf = path_;
  const size_t cut = leaf.find_last_of("\\/");
  if (cut != std::string::npos) leaf = leaf.substr(cut + 1);
  registry_key_ = std::string(kTestRegistryKey) + "\\" + leaf;
  // Every stand-in is made before any root is mapped: the current user's root is one of them.
  std::vector<platform::RegKey> stand_ins;
  for (const Root& root : kRoots) {
    platform::RegKey& stand_in = stand_ins.emplace_back();
    const uint32_t code =
        platform::RegCreateKeyEx(platform::HKEY_CURRENT_USER, registry_key_ + "\\" + root.name, 0,
                                 platform::KEY_ALL_ACCESS, stand_in.Receive(), nullptr);
    if (code != platform::ERROR_SUCCESS) {
      RestoreRegistry();
      throw std::runtime_error("Cannot give the test a registry of its own (error " + std::to_string(code) +
                               ")");
    }
  }
  for (size_t i = 0; i < stand_ins.size(); ++i) {
    const uint32_t code = platform::RegOverridePredefKey(kRoots[i].key, stand_ins[i].Get());
    if (code != platform::ERROR_SUCCESS) {
      RestoreRegistry();
      throw std::runtime_error("Cannot map a root to the test's registry (error " + std::to_string(code) +
                               ")");
    }
    redirected_roots_.push_back(kRoots[i].key);
  }
}

void TestStateDir::RestoreRegistry() {
  if (registry_key_.empty()) return;
  for (const HKEY root : redirected_roots_) platform::RegOverridePredefKey(root, HKEY{});
  redirected_roots_.clear();
  DeleteKeyTree(platform::HKEY_CURRENT_USER, registry_key_);
  registry_key_.clear();
}

}  // namespace qv::testing
