// TVeskRegistry: typed reads that never fail for a missing or mistyped value (they give a default and,
// with WriteDefaults, store it), writes that create their key, and multi-string values. Every
// operation works on KeyPath below the root key as they are set when it is called, and leaves no key
// open when it returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/nt_registry.h"

namespace qv {

class TVeskRegistry : public TNTRegistry {
 public:
  TVeskRegistry() = default;

  // The key the next typed read or write works on; a leading backslash makes it absolute.
  std::string KeyPath;
  // Whether a typed read stores its default when the value is missing or mistyped.
  bool WriteDefaults = true;

  // REG_SZ (a REG_EXPAND_SZ does not count), REG_DWORD, REG_DWORD not 0: the stored value, else the
  // default. A value of another type is deleted and, with WriteDefaults, replaced by the default;
  // without WriteDefaults the registry is left as it is.
  std::string ReadStringDef(const std::string& name, const std::string& default_value);
  int32_t ReadIntegerDef(const std::string& name, int32_t default_value);
  bool ReadBoolDef(const std::string& name, bool default_value);
  // A REG_MULTI_SZ value into the list; otherwise the list's content is the default. A failing
  // registry call raises EWin32Error.
  void ReadStringListDef(const std::string& name, std::vector<std::string>* list);

  // Store the value, creating the key; a key that can be neither opened nor created stores nothing.
  void PutString(const std::string& name, const std::string& value);
  void PutInteger(const std::string& name, int32_t value);
  void PutBool(const std::string& name, bool value);
  // Stores REG_MULTI_SZ in KeyPath, always below the root key, with full access; a refusal raises
  // EWin32Error.
  void PutStringList(const std::string& name, const std::vector<std::string>* list);

  // Each non-empty string followed by a NUL, then one more NUL (a single NUL for no strings).
  static std::string PackStrings(const std::vector<std::string>* list);
  // The NUL-terminated strings of the buffer until an empty one or the buffer's end; no buffer
  // empties the list.
  static void UnpackStrings(const std::string* buffer, std::vector<std::string>* list);

 private:
  template <class Value, class Reader, class Writer>
  Value ReadDef(const std::string& name, const Value& default_value, TRegDataType expected, Reader read,
                Writer write);
};

// Raises EWin32Error for a registry call's result: "Win32 Error.  Code: %d." and a line break with
// the system's text, or "A Win32 API function failed" for code 0.
[[noreturn]] void RaiseWin32Error(uint32_t code);

}  // namespace qv
