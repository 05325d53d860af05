// Accounts through the system's security functions: LookupAccountSid, LookupAccountName and a
// network logon with LogonUser. The system chooses the authority (the machine's accounts, its domain);
// the layer adds what the interface promises beyond the calls: texts with a NUL character never reach
// them, and the token names the account as the system spells it.
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "platform/accounts/accounts.h"
#include "platform/errors/system_error.h"
#include "platform/process/module.h"
#include "platform/text/ascii_text.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

bool HoldsNul(const std::string& text) {
  return text.find('\0') != std::string::npos;
}

// The name and domain of a SID in the system's bytes.
bool LookupSystemSid(PSID sid, std::string* name, std::string* domain, SidNameUse* use) {
  DWORD name_length = 0;
  DWORD domain_length = 0;
  SID_NAME_USE system_use = SidTypeUnknown;
  ::LookupAccountSidW(nullptr, sid, nullptr, &name_length, nullptr, &domain_length, &system_use);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  std::vector<wchar_t> name_buffer(name_length + 1);
  std::vector<wchar_t> domain_buffer(domain_length + 1);
  if (!::LookupAccountSidW(nullptr, sid, name_buffer.data(), &name_length, domain_buffer.data(),
                           &domain_length, &system_use))
    return false;
  *name = win32::NarrowBuffer(name_buffer.data(), name_buffer.size());
  *domain = win32::NarrowBuffer(domain_buffer.data(), domain_buffer.size());
  if (use != nullptr) *use = static_cast<SidNameUse>(system_use);
  return true;
}

class LogonToken final : public AccessToken {
 public:
  LogonToken(win32::UniqueHandle token, std::string user, std::string domain, Sid sid)
      : token_(std::move(token)), user_(std::move(user)), domain_(std::move(domain)), sid_(std::move(sid)) {}
  const std::string& UserName() const override { return user_; }
  const std::string& Domain() const override { return domain_; }
  const Sid& UserSid() const override { return sid_; }

 private:
  win32::UniqueHandle token_;  // the logon lasts as long as its token
  std::string user_;
  std::string domain_;
  Sid sid_;
};

// The user SID of a token, in our binary form (the system's layout is the same).
bool TokenUserSid(HANDLE token, Sid* sid) {
  DWORD length = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &length);
  if (length == 0) return false;
  std::vector<unsigned char> buffer(length);
  if (!::GetTokenInformation(token, TokenUser, buffer.data(), length, &length)) return false;
  const PSID system_sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
  sid->assign(static_cast<const char*>(system_sid), ::GetLengthSid(system_sid));
  return true;
}

}  // namespace

bool LookupAccountSid(const Sid& sid, std::string* name, std::string* domain, SidNameUse* use) {
  if (!IsValidSid(sid)) return FailWith(ERROR_INVALID_SID);
  Sid copy = sid;  // the system's call takes a writable pointer
  return LookupSystemSid(copy.data(), name, domain, use);
}

bool LookupAccountName(const std::string& account, Sid* sid, std::string* domain, SidNameUse* use) {
  if (account.empty() || HoldsNul(account)) return FailWith(ERROR_NONE_MAPPED);
  // "." names this machine for us; the system wants its name.
  std::string asked = account;
  if (asked.starts_with(".\\")) asked = GetComputerName() + asked.substr(1);
  if (asked.starts_with("\\")) asked = asked.substr(1);
  const std::wstring wide = win32::Wide(asked);
  DWORD sid_length = 0;
  DWORD domain_length = 0;
  SID_NAME_USE system_use = SidTypeUnknown;
  ::LookupAccountNameW(nullptr, wide.c_str(), nullptr, &sid_length, nullptr, &domain_length, &system_use);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  std::vector<unsigned char> sid_buffer(sid_length);
  std::vector<wchar_t> domain_buffer(domain_length + 1);
  if (!::LookupAccountNameW(nullptr, wide.c_str(), sid_buffer.data(), &sid_length, domain_buffer.data(),
                            &domain_length, &system_use))
    return false;
  sid->assign(reinterpret_cast<const char*>(sid_buffer.data()), sid_length);
  *domain = win32::NarrowBuffer(domain_buffer.data(), domain_buffer.size());
  if (use != nullptr) *use = static_cast<SidNameUse>(system_use);
  return true;
}

bool LogonUser(const std::string& user, const std::string& domain, const std::string& password,
               LogonType type, std::unique_ptr<AccessToken>* token) {
  if (token == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  token->reset();
  // C interfaces would cut a text at a NUL character: "secret\0more" must not pass as "secret".
  if (user.empty() || password.empty() || HoldsNul(user) || HoldsNul(password) || HoldsNul(domain))
    return FailWith(ERROR_LOGON_FAILURE);
  // Every logon type checks the password alike and opens no session: the network logon does that.
  static_cast<void>(type);
  win32::UniqueHandle system_token;  // until the logon's object holds it
  const std::wstring wide_domain = win32::Wide(domain.empty() ? std::string(".") : domain);
  if (!::LogonUserW(win32::Wide(user).c_str(), wide_domain.c_str(), win32::Wide(password).c_str(),
                    LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT, system_token.receive()))
    return false;
  Sid sid;
  std::string name = user;
  std::string account_domain = domain;
  if (TokenUserSid(system_token.get(), &sid)) {
    std::string found_name;
    std::string found_domain;
    if (LookupSystemSid(sid.data(), &found_name, &found_domain, nullptr)) {
      name = found_name;
      account_domain = found_domain;
    }
  }
  *token = std::make_unique<LogonToken>(std::move(system_token), name, account_domain, sid);
  return true;
}

std::optional<uint64_t> MachineAccountsVersion() {
  // The system keeps the accounts and tells no cheap count of their changes; its network logon is
  // cheap itself.
  return std::nullopt;
}

void CheckPasswordOfNoAccount(const std::string& password) {
  if (password.empty() || HoldsNul(password)) return;
  // A network logon of a local account name that no administrator would choose: the system's own
  // work for a name it does not know.
  win32::UniqueHandle system_token;
  ::LogonUserW(L"qv-no-such-account", L".", win32::Wide(password).c_str(), LOGON32_LOGON_NETWORK,
               LOGON32_PROVIDER_DEFAULT, system_token.receive());
}

}  // namespace qv::platform
