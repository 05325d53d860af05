// Writes the contents of a .reg file as text in the REGEDIT4 format: single-byte texts, CR LF line
// ends, as the registry editor imports it on Windows and ParseRegFile reads it back unchanged. A
// REG_SZ that a quoted string cannot carry unchanged goes out as hex(1).
#pragma once

#include <string>

#include "tools/reg_file.h"

namespace qv::tools {

// Texts that a quoted "text" cannot carry unchanged (REG_SZ data without its one final NUL, or
// holding a NUL, CR or LF) are written as hex(1) bytes; a REG_DWORD of other than four bytes as
// hex(4). Keys and values marked for removal are written as [-key] and "name"=-. A key or value
// name holding a line break cannot be written: ERegFileError.
std::string FormatRegFile(const RegFile& file);

}  // namespace qv::tools
