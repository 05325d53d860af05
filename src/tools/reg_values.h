// Registry value types and data as the reg command writes and reads them on the command line: type
// names (REG_SZ ...), the data of `reg add /d` turned into stored bytes, and stored bytes shown as
// `reg query` shows them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/tool_arguments.h"

namespace qv::tools {

// Data or a type that cannot be used (a usage error); the message says what was expected.
QV_EXCEPTION_CLASS(EValueDataError, EUsageError);

// The types `reg add` takes: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY (any case).
// Raises EValueDataError naming them for anything else.
uint32_t ParseAddType(const std::string& name);

// The stored bytes of `reg add` data: texts with their terminating NUL, a REG_DWORD from a decimal
// number or one with 0x, REG_BINARY from pairs of hexadecimal digits, REG_MULTI_SZ from strings cut at
// the separator ("\0" when none is given). Raises EValueDataError saying what was expected.
std::string ParseAddData(uint32_t type, const std::string& text, const std::string& separator = "\\0");

// The data as `reg query` shows it: texts up to their first NUL, multi-strings joined by "\0",
// REG_DWORD as 0x and lower-case hexadecimal with the decimal number in parentheses, everything else as
// upper-case hexadecimal bytes.
std::string ShowData(uint32_t type, const std::string& data);

}  // namespace qv::tools
