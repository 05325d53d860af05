// The parts of the accounts interface that both platforms share: the name of the machine's domain.
#include <algorithm>

#include "platform/accounts/accounts.h"
#include "platform/process/module.h"
#include "platform/text/ascii_text.h"

namespace qv::platform {

namespace {

constexpr size_t kNetbiosNameLength = 15;

}  // namespace

std::string GetAccountDomainName() {
  std::string name = GetComputerName();
  name = name.substr(0, std::min(name.find('.'), kNetbiosNameLength));
  name = AsciiUpperCase(name);
  return name.empty() ? "LOCALHOST" : name;
}

}  // namespace qv::platform
