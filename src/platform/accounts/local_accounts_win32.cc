// The machine's accounts through the system's network management calls (NetUserAdd and its kin).
// The system checks names and passwords by its own rules; the checks of the interface come first, so a
// name or password the Linux database refuses is refused here too, with the same code.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/accounts/local_account_rules.h"
#include "platform/accounts/local_accounts.h"
#include "platform/errors/system_error.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

#include <lm.h>

namespace qv::platform {

namespace {

// The result of a network management call as our result: its codes turned into the system errors
// the interface promises.
bool Succeeded(NET_API_STATUS status) {
  switch (status) {
    case NERR_Success:
      return true;
    case NERR_UserExists:
      return FailWith(ERROR_USER_EXISTS);
    case NERR_UserNotFound:
      return FailWith(ERROR_NO_SUCH_USER);
    case NERR_BadUsername:
      return FailWith(ERROR_INVALID_ACCOUNT_NAME);
    case NERR_PasswordTooShort:
      return FailWith(ERROR_PASSWORD_RESTRICTION);
    default:
      return FailWith(status);
  }
}

// Frees a buffer the network management calls gave.
class NetBuffer {
 public:
  NetBuffer() = default;
  NetBuffer(const NetBuffer&) = delete;
  NetBuffer& operator=(const NetBuffer&) = delete;
  ~NetBuffer() {
    if (buffer_ != nullptr) ::NetApiBufferFree(buffer_);
  }
  LPBYTE* Receive() { return &buffer_; }
  template <typename T>
  const T* As() const {
    return reinterpret_cast<const T*>(buffer_);
  }

 private:
  LPBYTE buffer_ = nullptr;
};

bool AccountOf(const std::wstring& name, LocalAccount* account) {
  NetBuffer info;
  if (!Succeeded(::NetUserGetInfo(nullptr, name.c_str(), 23, info.Receive()))) return false;
  const USER_INFO_23& user = *info.As<USER_INFO_23>();
  account->Name = win32::Narrow(user.usri23_name);
  account->UserSid.assign(static_cast<const char*>(user.usri23_user_sid),
                          ::GetLengthSid(user.usri23_user_sid));
  account->Disabled = (user.usri23_flags & UF_ACCOUNTDISABLE) != 0;
  return true;
}

}  // namespace

bool NetUserAdd(const std::string& name, const std::string& password) {
  if (!IsValidLocalAccountName(name)) return FailWith(ERROR_INVALID_ACCOUNT_NAME);
  if (!IsValidLocalAccountPassword(password)) return FailWith(ERROR_PASSWORD_RESTRICTION);
  std::wstring wide_name = win32::Wide(name);
  std::wstring wide_password = win32::Wide(password);
  USER_INFO_1 user = {};
  user.usri1_name = wide_name.data();
  user.usri1_password = wide_password.data();
  user.usri1_priv = USER_PRIV_USER;
  user.usri1_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
  return Succeeded(::NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&user), nullptr));
}

bool NetUserSetPassword(const std::string& name, const std::string& password) {
  if (!IsValidLocalAccountPassword(password)) return FailWith(ERROR_PASSWORD_RESTRICTION);
  std::wstring wide_password = win32::Wide(password);
  USER_INFO_1003 info = {wide_password.data()};
  return Succeeded(
      ::NetUserSetInfo(nullptr, win32::Wide(name).c_str(), 1003, reinterpret_cast<LPBYTE>(&info), nullptr));
}

bool NetUserSetDisabled(const std::string& name, bool disabled) {
  const std::wstring wide_name = win32::Wide(name);
  NetBuffer current;
  if (!Succeeded(::NetUserGetInfo(nullptr, wide_name.c_str(), 1, current.Receive()))) return false;
  DWORD flags = current.As<USER_INFO_1>()->usri1_flags;
  flags = disabled ? (flags | UF_ACCOUNTDISABLE) : (flags & ~static_cast<DWORD>(UF_ACCOUNTDISABLE));
  USER_INFO_1008 info = {flags};
  return Succeeded(
      ::NetUserSetInfo(nullptr, wide_name.c_str(), 1008, reinterpret_cast<LPBYTE>(&info), nullptr));
}

bool NetUserDel(const std::string& name) {
  return Succeeded(::NetUserDel(nullptr, win32::Wide(name).c_str()));
}

bool NetUserEnum(std::vector<LocalAccount>* accounts) {
  accounts->clear();
  DWORD resume = 0;
  NET_API_STATUS status;
  do {
    NetBuffer names;
    DWORD read = 0;
    DWORD total = 0;
    status = ::NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, names.Receive(), MAX_PREFERRED_LENGTH, &read,
                           &total, &resume);
    if (status != NERR_Success && status != ERROR_MORE_DATA) return Succeeded(status);
    for (DWORD i = 0; i < read; ++i) {
      LocalAccount account;
      if (AccountOf(names.As<USER_INFO_0>()[i].usri0_name, &account)) accounts->push_back(std::move(account));
    }
  } while (status == ERROR_MORE_DATA);
  std::sort(accounts->begin(), accounts->end(),
            [](const LocalAccount& a, const LocalAccount& b) { return a.Name < b.Name; });
  return true;
}

bool NetUserGetInfo(const std::string& name, LocalAccount* account) {
  return AccountOf(win32::Wide(name), account);
}

}  // namespace qv::platform
