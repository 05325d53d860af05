// The contents of a .reg file (the registry editor's export format): keys to create or delete, with
// the values to set or delete in each. Shared by the .reg parser and writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors/exception.h"

namespace qv::tools {

// A text that is no .reg file, or contents that cannot be written as one.
QV_EXCEPTION_CLASS(ERegFileError, Exception);

enum class RegFileFormat {
  kRegedit4,  // "REGEDIT4": texts inside hex(...) data are single-byte
  kVersion5,  // "Windows Registry Editor Version 5.00": texts inside hex(...) data are UTF-16LE
};

struct RegFileValue {
  std::string name;  // empty for the default value (@)
  bool remove = false;
  uint32_t type = 0;
  std::string data;  // the bytes to store, texts in single-byte characters
  int line = 0;
};

struct RegFileKey {
  std::string path;  // as written, the root included: "HKEY_LOCAL_MACHINE\Software\X"
  bool remove = false;
  std::vector<RegFileValue> values;
  int line = 0;
};

struct RegFile {
  RegFileFormat format = RegFileFormat::kRegedit4;
  std::vector<RegFileKey> keys;
};

}  // namespace qv::tools
