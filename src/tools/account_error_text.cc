#include "tools/account_error_text.h"

#include "platform/accounts/local_account_rules.h"
#include "platform/errors/win_error.h"

namespace qv::tools {

std::string AccountErrorText(uint32_t code, const std::string& account) {
  switch (code) {
    case platform::ERROR_NO_SUCH_USER:
    case platform::ERROR_NONE_MAPPED:
      return "there is no account named \"" + account + "\" (qvanctl account list shows this machine's)";
    case platform::ERROR_USER_EXISTS:
      return "an account named \"" + account + "\" exists already";
    case platform::ERROR_INVALID_ACCOUNT_NAME:
      return "\"" + account +
             "\" is no account name: 1 to 20 characters, none of \"/\\[]:;|=,+*?<>@ and no control "
             "characters, not ending in a blank or a dot";
    default:
      return platform::SystemErrorText(code);
  }
}

std::string PasswordRefusal(const std::string& password) {
  if (password.empty()) return "the password is empty";
  if (!platform::IsValidLocalAccountPassword(password))
    return "a password is at most 256 characters, without a NUL character";
  return std::string();
}

}  // namespace qv::tools
