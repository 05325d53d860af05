#include "net/listen_addresses.h"

#include <algorithm>

namespace qv::net {

std::vector<std::string> SplitListenAddresses(const std::string& text) {
  constexpr const char* kSeparators = ", \t";
  std::vector<std::string> addresses;
  size_t start = text.find_first_not_of(kSeparators);
  while (start != std::string::npos) {
    const size_t end = text.find_first_of(kSeparators, start);
    std::string address = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
      addresses.push_back(std::move(address));
    start = end == std::string::npos ? end : text.find_first_not_of(kSeparators, end);
  }
  return addresses;
}

}  // namespace qv::net
