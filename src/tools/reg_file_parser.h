// Reads the text of a .reg file. Takes the whole text, so that it can be tried on any input.
//
// Accepted: the headers "REGEDIT4" and "Windows Registry Editor Version 5.00"; single-byte text, or
// UTF-16LE or UTF-8 with a byte-order mark (turned into single-byte text; characters it cannot hold
// are refused); CR LF or LF line ends; comment lines starting with ';'; [key] and [-key] lines;
// "name"= or @= with "text", dword:hex, hex:bytes, hex(type):bytes (continued over lines with a
// trailing backslash) or - to delete the value.
#pragma once

#include <string_view>

#include "tools/reg_file.h"

namespace qv::tools {

// Raises ERegFileError for a text that is not a .reg file; the message begins with "line N: " and
// says what was expected.
RegFile ParseRegFile(std::string_view text);

}  // namespace qv::tools
