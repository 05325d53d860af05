// The system's accounts: found through NSS, passwords checked with PAM (service "quorvane"), SIDs
// S-1-22-1-<uid>. Internal to the POSIX platform layer; accounts_posix.cc uses it.
//
// PAM runs without a lock of ours: each logon is a PAM transaction of its own, and the modules of the
// stack that the service file names are thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/accounts/accounts.h"

namespace qv::platform::posix {

inline constexpr const char* kPamServiceName = "quorvane";

struct SystemAccount {
  std::string Name;
  uint32_t Uid = 0;
};

// The account of a name or a user id. False when there is none (ERROR_NONE_MAPPED) or NSS failed (the
// error's Windows code).
bool FindSystemAccount(const std::string& name, SystemAccount* account);
bool FindSystemAccount(uint32_t uid, SystemAccount* account);

// S-1-22-1-<uid>, and the user id of such a SID.
Sid SystemAccountSid(uint32_t uid);
std::optional<uint32_t> UidOfSystemAccountSid(const Sid& sid);

// Asks PAM whether the password is the account's and whether the account may be used now
// (pam_authenticate, then pam_acct_mgmt). ERROR_SUCCESS when both agree, otherwise the Windows code of
// the refusal (ERROR_LOGON_FAILURE, ERROR_ACCOUNT_EXPIRED, ERROR_PASSWORD_MUST_CHANGE,
// ERROR_ACCOUNT_RESTRICTION, ERROR_NO_LOGON_SERVERS).
uint32_t CheckSystemPassword(const std::string& name, const std::string& password);

}  // namespace qv::platform::posix
