#include "platform/accounts/local_account_rules.h"

#include <cstring>

#include "platform/accounts/local_accounts.h"

namespace qv::platform {

namespace {

constexpr size_t kLongestName = 20;
constexpr size_t kLongestPassword = 256;
constexpr const char* kForbiddenNameCharacters = "\"/\\[]:;|=,+*?<>@";

}  // namespace

bool IsValidLocalAccountName(const std::string& name) {
  if (name.empty() || name.size() > kLongestName) return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::strchr(kForbiddenNameCharacters, c) != nullptr) return false;
  }
  if (name.front() == ' ' || name.back() == ' ' || name.back() == '.') return false;
  return name.find_first_not_of(". ") != std::string::npos;
}

bool IsValidLocalAccountPassword(const std::string& password) {
  return !password.empty() && password.size() <= kLongestPassword && password.find('\0') == std::string::npos;
}

}  // namespace qv::platform
