#include "tools/reg_key_path.h"

#include "platform/text/ascii_text.h"

namespace qv::tools {

namespace {

struct RootName {
  const char* short_name;
  const char* long_name;
  platform::HKEY root;
};

constexpr RootName kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE},
    {"HKCU", "HKEY_CURRENT_USER", platform::HKEY_CURRENT_USER},
    {"HKCR", "HKEY_CLASSES_ROOT", platform::HKEY_CLASSES_ROOT},
    {"HKU", "HKEY_USERS", platform::HKEY_USERS},
    {"HKCC", "HKEY_CURRENT_CONFIG", platform::HKEY_CURRENT_CONFIG},
};

}  // namespace

RegKeyPath ParseKeyPath(const std::string& text) {
  if (text.rfind("\\\\", 0) == 0)
    throw EKeyPathError(
        "\"" + text +
        "\": keys of other machines cannot be reached; give a local key such as HKLM\\Software");
  std::string path = text;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  const size_t cut = path.find('\\');
  const std::string root = AsciiUpperCase(path.substr(0, cut));
  RegKeyPath result;
  for (const RootName& name : kRoots) {
    if (root == name.short_name || root == name.long_name) {
      result.root = name.root;
      result.root_name = name.long_name;
    }
  }
  if (result.root == platform::HKEY{})
    throw EKeyPathError(
        "\"" + text +
        "\": unknown root key; expected HKLM, HKCU, HKCR, HKU or HKCC (or HKEY_LOCAL_MACHINE ...) "
        "followed by a backslash and the path");
  if (cut != std::string::npos) result.sub_key = path.substr(cut + 1);
  if (result.sub_key.find("\\\\") != std::string::npos ||
      (cut != std::string::npos && result.sub_key.empty()) ||
      (!result.sub_key.empty() && result.sub_key[0] == '\\'))
    throw EKeyPathError("\"" + text + "\": a key name between two backslashes is empty");
  return result;
}

}  // namespace qv::tools
