// Registry key paths as the administrator writes them: a root (HKLM or HKEY_LOCAL_MACHINE, HKCU, HKCR,
// HKU, HKCC) and the path below it, separated by backslashes.
#pragma once

#include <string>

#include "platform/registry/registry.h"
#include "tools/tool_arguments.h"

namespace qv::tools {

// A key path that cannot be used (a usage error); the message says what was expected.
QV_EXCEPTION_CLASS(EKeyPathError, EUsageError);

struct RegKeyPath {
  platform::HKEY root{};
  std::string root_name;  // the long name: "HKEY_LOCAL_MACHINE"
  std::string sub_key;    // below the root, without leading or trailing backslash; empty for the root
  // The root's long name and the sub-key: "HKEY_LOCAL_MACHINE\Software".
  std::string FullName() const { return sub_key.empty() ? root_name : root_name + "\\" + sub_key; }
};

// Raises EKeyPathError for an unknown root, a remote machine's key or an empty name inside the path.
RegKeyPath ParseKeyPath(const std::string& text);

}  // namespace qv::tools
