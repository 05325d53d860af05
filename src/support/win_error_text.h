// The text of a Windows error code, for the messages that show a platform error with its text.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// The system's one-line text for a code of 0 or above ("?" when it has none); the names of the
// file-decompression codes -1 to -8; "?" for every other negative code.
std::string GetWinErrorText(int32_t code);

// "LastError: %d (%s)": the code in decimal and its text.
std::string LastErrorText(uint32_t code);
// "$%x (%s)": the code in upper-case hexadecimal without leading zeros, and its text.
std::string HexErrorText(uint32_t code);

}  // namespace qv
