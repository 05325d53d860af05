// .reg files through `qvanctl reg import`: the parser, the key paths of every [key] line, and the
// import itself into a registry hive of its own (emptied after each input). A file the parser takes
// is also written back with the exporter's writer and read again, which must give the same keys and
// values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_state_dir.h"
#include "platform/registry/registry.h"
#include "tools/qvanctl.h"
#include "tools/reg_file_parser.h"
#include "tools/reg_file_writer.h"
#include "tools/reg_key_path.h"

namespace {

using namespace qv::tools;
namespace platform = qv::platform;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameContents(const RegFile& a, const RegFile& b) {
  if (a.keys.size() != b.keys.size()) return false;
  for (size_t k = 0; k < a.keys.size(); ++k) {
    const RegFileKey& x = a.keys[k];
    const RegFileKey& y = b.keys[k];
    if (x.path != y.path || x.remove != y.remove || x.values.size() != y.values.size()) return false;
    for (size_t v = 0; v < x.values.size(); ++v) {
      const RegFileValue& p = x.values[v];
      const RegFileValue& q = y.values[v];
      if (p.name != q.name || p.remove != q.remove) return false;
      if (!p.remove && (p.type != q.type || p.data != q.data)) return false;
    }
  }
  return true;
}

// Deletes every key below a root, depth first.
void EmptyKey(platform::HKEY key) {
  std::vector<std::string> children;
  std::string name;
  for (uint32_t index = 0; platform::RegEnumKeyEx(key, index, &name) == platform::ERROR_SUCCESS; ++index)
    children.push_back(name);
  for (const std::string& child : children) {
    platform::RegKey sub;
    if (platform::RegOpenKeyEx(key, child, 0, platform::KEY_ALL_ACCESS, sub.Receive()) ==
        platform::ERROR_SUCCESS)
      EmptyKey(sub.Get());
    platform::RegDeleteKey(key, child);
  }
}

void EmptyHive() {
  for (const platform::HKEY root :
       {platform::HKEY_LOCAL_MACHINE, platform::HKEY_CURRENT_USER, platform::HKEY_CLASSES_ROOT,
        platform::HKEY_USERS, platform::HKEY_CURRENT_CONFIG})
    EmptyKey(root);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzzing::FuzzStateDirectory();  // the registry hive
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  RegFile file;
  try {
    file = ParseRegFile(text);
  } catch (const ERegFileError&) {
    return 0;
  }
  bool paths_usable = true;
  for (const RegFileKey& key : file.keys) {
    try {
      ParseKeyPath(key.path);
    } catch (const EKeyPathError&) {
      paths_usable = false;
    }
  }

  // Written back (as export does) and read again: the same contents. Names with a line break are
  // the one thing a .reg file cannot carry.
  std::string written;
  bool writable = true;
  try {
    written = FormatRegFile(file);
  } catch (const ERegFileError&) {
    writable = false;
  }
  if (writable) {
    const RegFile again = ParseRegFile(written);
    Check(again.format == RegFileFormat::kRegedit4);
    Check(SameContents(file, again));
    Check(FormatRegFile(again) == written);
  }

  // The import: with usable key paths it either succeeds or refuses with exit code 1, one line.
  if (paths_usable) {
    std::istringstream in{std::string(text)};
    std::ostringstream out;
    std::ostringstream err;
    ToolStreams io{in, out, err};
    const int code = RunQvanctl({"reg", "import", "-"}, io);
    Check(code == 0 || code == 1);
    if (code == 1) {
      Check(!err.str().empty() && err.str().find('\n') == err.str().size() - 1);
    }
    EmptyHive();
  }
  return 0;
}
