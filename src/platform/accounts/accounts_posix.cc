// Account lookup and network logon over the two authorities: the machine's account database first,
// then the system's accounts.
#include <algorithm>

#include "platform/accounts/accounts.h"
#include "platform/accounts/local_account_database_posix.h"
#include "platform/accounts/password_hash_posix.h"
#include "platform/accounts/system_accounts_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/module.h"
#include "platform/text/ascii_text.h"

namespace qv::platform {

namespace {

// Which authorities a domain given with a name asks.
enum class Authority { kBoth, kMachine, kSystem, kNone };

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

Authority AuthorityOfDomain(const std::string& domain) {
  if (domain.empty() || domain == ".") return Authority::kBoth;
  if (SameTextIgnoringCase(domain, GetAccountDomainName())) return Authority::kMachine;
  if (SameTextIgnoringCase(domain, kUnixUserDomain)) return Authority::kSystem;
  return Authority::kNone;
}

class LogonToken final : public AccessToken {
 public:
  LogonToken(std::string user_name, std::string domain, Sid user_sid)
      : user_name_(std::move(user_name)), domain_(std::move(domain)), user_sid_(std::move(user_sid)) {}
  const std::string& UserName() const override { return user_name_; }
  const std::string& Domain() const override { return domain_; }
  const Sid& UserSid() const override { return user_sid_; }

 private:
  std::string user_name_;
  std::string domain_;
  Sid user_sid_;
};

// Runs a lookup or logon that reads the account database and turns the database's failures into the
// thread's last error.
template <typename Work>
bool WithDatabaseErrors(Work work) {
  try {
    return work();
  } catch (const SqliteError& error) {
    return FailWith(posix::WinErrorFromDatabaseError(error));
  } catch (const EWin32Error& error) {
    return FailWith(error.ErrorCode);
  }
}

bool LookupSidOnMachine(const Sid& sid, std::string* name, std::string* domain, SidNameUse* use,
                        bool* found) {
  *found = false;
  const auto database = posix::LocalAccountDatabase::OpenForReading();
  if (!database) return true;
  if (sid == database->MachineSid()) {
    *name = GetAccountDomainName();
    *domain = *name;
    if (use != nullptr) *use = SidNameUse::kDomain;
    *found = true;
    return true;
  }
  const auto rid = database->RidOf(sid);
  if (!rid) return true;
  const auto account = database->FindByRid(*rid);
  if (!account) return true;
  *name = account->Name;
  *domain = GetAccountDomainName();
  if (use != nullptr) *use = SidNameUse::kUser;
  *found = true;
  return true;
}

}  // namespace

bool LookupAccountSid(const Sid& sid, std::string* name, std::string* domain, SidNameUse* use) {
  if (!IsValidSid(sid)) return FailWith(ERROR_INVALID_SID);
  // The two authorities' SIDs never overlap, so a system SID needs no look at the database.
  if (const auto uid = posix::UidOfSystemAccountSid(sid)) {
    posix::SystemAccount account;
    if (!posix::FindSystemAccount(*uid, &account)) return false;
    *name = account.Name;
    *domain = kUnixUserDomain;
    if (use != nullptr) *use = SidNameUse::kUser;
    return true;
  }
  bool found = false;
  if (!WithDatabaseErrors([&] { return LookupSidOnMachine(sid, name, domain, use, &found); })) return false;
  return found || FailWith(ERROR_NONE_MAPPED);
}

bool LookupAccountName(const std::string& account, Sid* sid, std::string* domain, SidNameUse* use) {
  const size_t separator = account.find('\\');
  const std::string name = separator == std::string::npos ? account : account.substr(separator + 1);
  const Authority authority =
      AuthorityOfDomain(separator == std::string::npos ? std::string() : account.substr(0, separator));
  if (name.empty() || name.find('\0') != std::string::npos || authority == Authority::kNone)
    return FailWith(ERROR_NONE_MAPPED);

  if (authority == Authority::kBoth || authority == Authority::kMachine) {
    bool found = false;
    const bool read = WithDatabaseErrors([&] {
      const auto database = posix::LocalAccountDatabase::OpenForReading();
      if (!database) return true;
      if (const auto local = database->FindByName(name)) {
        *sid = database->AccountSid(local->Rid);
        *domain = GetAccountDomainName();
        found = true;
      }
      return true;
    });
    if (!read) return false;
    if (found) {
      if (use != nullptr) *use = SidNameUse::kUser;
      return true;
    }
    if (authority == Authority::kMachine) return FailWith(ERROR_NONE_MAPPED);
  }
  posix::SystemAccount system_account;
  if (!posix::FindSystemAccount(name, &system_account)) return false;
  *sid = posix::SystemAccountSid(system_account.Uid);
  *domain = kUnixUserDomain;
  if (use != nullptr) *use = SidNameUse::kUser;
  return true;
}

bool LogonUser(const std::string& user, const std::string& domain, const std::string& password,
               LogonType type, std::unique_ptr<AccessToken>* token) {
  if (token == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  token->reset();
  // C interfaces would cut a text at a NUL character: "secret\0more" must not pass as "secret".
  if (user.empty() || password.empty() || user.find('\0') != std::string::npos ||
      password.find('\0') != std::string::npos)
    return FailWith(ERROR_LOGON_FAILURE);
  const Authority authority = AuthorityOfDomain(domain);
  if (authority == Authority::kNone) return FailWith(ERROR_LOGON_FAILURE);

  if (authority == Authority::kBoth || authority == Authority::kMachine) {
    std::optional<posix::LocalAccountDatabase::Account> local;
    Sid local_sid;
    const bool read = WithDatabaseErrors([&] {
      const auto database = posix::LocalAccountDatabase::OpenForReading();
      if (database) local = database->FindByName(user);
      if (local) local_sid = database->AccountSid(local->Rid);
      return true;
    });
    if (!read) return false;
    if (local) {
      // The password first: whether an account is disabled is told only to who knows its password.
      if (!posix::VerifyPassword(password, local->PasswordHash)) return FailWith(ERROR_LOGON_FAILURE);
      if (local->Disabled) return FailWith(ERROR_ACCOUNT_DISABLED);
      *token = std::make_unique<LogonToken>(local->Name, GetAccountDomainName(), local_sid);
      return true;
    }
    if (authority == Authority::kMachine) return FailWith(ERROR_LOGON_FAILURE);
  }

  posix::SystemAccount account;
  if (!posix::FindSystemAccount(user, &account))
    return FailWith(GetLastError() == ERROR_NONE_MAPPED ? ERROR_LOGON_FAILURE : ERROR_NO_LOGON_SERVERS);
  if (const uint32_t refusal = posix::CheckSystemPassword(account.Name, password); refusal != ERROR_SUCCESS)
    return FailWith(refusal);
  *token = std::make_unique<LogonToken>(account.Name, kUnixUserDomain, posix::SystemAccountSid(account.Uid));
  return true;
}

std::optional<uint64_t> MachineAccountsVersion() {
  return posix::LocalAccountDatabase::Version();
}

void CheckPasswordOfNoAccount(const std::string& password) {
  if (password.empty() || password.find('\0') != std::string::npos) return;
  // The machine's accounts' own method and cost; made once, with a fresh salt, for the process.
  static const std::string hash_of_no_account = posix::HashPassword("no account has this password");
  static_cast<void>(posix::VerifyPassword(password, hash_of_no_account));
}

}  // namespace qv::platform
