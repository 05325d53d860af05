// The addresses a server is told to listen on, as an administrator writes them in one setting.
#pragma once

#include <string>
#include <vector>

namespace qv::net {

// The addresses of the text, separated by commas or blanks (tabs too), in their order and without
// repeats; none for a text of separators alone, which means every address (TServerSocket's default).
std::vector<std::string> SplitListenAddresses(const std::string& text);

}  // namespace qv::net
