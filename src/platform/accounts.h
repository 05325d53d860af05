// Accounts and security identifiers (the LookupAccountSid / LogonUser part of Windows security).
//
// Two authorities answer: the machine's own account database (accounts the administrator's tool
// creates, SIDs S-1-5-21-<machine>-<RID>, domain = the computer name) and the system's accounts
// (found through NSS, passwords checked with PAM service "quorvane", SIDs S-1-22-1-<uid>, domain
// "Unix User"). Lookups ask the local database first, then the system. Failures return false and set
// the thread's last error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv::platform {

// A security identifier in its binary form: revision, sub-authority count, 6-byte identifier
// authority (big-endian), then each sub-authority as 4 bytes little-endian.
using Sid = std::string;

// "S-1-5-21-1-2-3-1000" and back. TextToSid fails for malformed text.
std::string SidToText(const Sid& sid);
bool TextToSid(const std::string& text, Sid* sid);
// True when the bytes form a well-made SID (IsValidSid).
bool IsValidSid(const Sid& sid);

enum class SidNameUse { kUser = 1, kGroup = 2, kDomain = 3, kAlias = 4, kWellKnownGroup = 5, kUnknown = 8 };

// The account of a SID: its name and the domain (authority) it belongs to. Fails with
// ERROR_NONE_MAPPED when no authority knows the SID, ERROR_INVALID_SID for malformed bytes.
bool LookupAccountSid(const Sid& sid, std::string* name, std::string* domain, SidNameUse* use = nullptr);

// The SID of an account given as "name" or "domain\name". Fails with ERROR_NONE_MAPPED.
bool LookupAccountName(const std::string& account, Sid* sid, std::string* domain);

// The proof of a successful logon; closing it (destroying it) ends the logon.
class AccessToken {
 public:
  virtual ~AccessToken() = default;
  virtual const std::string& UserName() const = 0;
  virtual const std::string& Domain() const = 0;
  virtual const Sid& UserSid() const = 0;
};

enum class LogonType { kInteractive = 2, kNetwork = 3, kBatch = 4, kService = 5 };

// Checks the password of an account with the authority that owns it (the domain chooses it; an empty
// domain or "." asks the local database first, then the system). On success the token is set and
// the result is true; a wrong password or unknown account fails with ERROR_LOGON_FAILURE, a disabled
// account with ERROR_ACCOUNT_DISABLED.
bool LogonUser(const std::string& user, const std::string& domain, const std::string& password, LogonType type,
               std::unique_ptr<AccessToken>* token);

}  // namespace qv::platform
