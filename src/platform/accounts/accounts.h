// Accounts and security identifiers (the LookupAccountSid / LogonUser part of Windows security).
//
// Two authorities answer: the machine's own account database (accounts the administrator's tool
// creates, SIDs S-1-5-21-<machine>-<RID>, domain = the account domain name below) and the system's
// accounts (found through NSS, passwords checked with PAM service "quorvane", SIDs S-1-22-1-<uid>,
// domain "Unix User"). Lookups ask the local database first, then the system. Failures return false
// and set the thread's last error.
//
// Names: the machine's accounts compare without regard to ASCII case and keep their spelling; system
// accounts compare as the system compares them (exactly). Domain names compare without regard to case.
// The domain given with a name chooses the authority: empty or "." the database, then the system; the
// account domain name the database alone; "Unix User" the system alone; any other domain none. So a
// name both authorities know is the machine's account unless "Unix User\" is given.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::platform {

// A security identifier in its binary form: revision, sub-authority count, 6-byte identifier
// authority (big-endian), then each sub-authority as 4 bytes little-endian.
using Sid = std::string;

// At most this many sub-authorities (SID_MAX_SUB_AUTHORITIES).
constexpr size_t kSidMaxSubAuthorities = 15;

// "S-1-5-21-1-2-3-1000" and back. The identifier authority is written in decimal below 2^32 and as
// 0x and twelve hexadecimal digits above, as Windows writes it. SidToText gives an empty text for bytes
// that are not a valid SID; TextToSid fails with ERROR_INVALID_SID for malformed text.
std::string SidToText(const Sid& sid);
bool TextToSid(const std::string& text, Sid* sid);
// True when the bytes form a well-made SID (IsValidSid).
bool IsValidSid(const Sid& sid);

// A SID from its parts (AllocateAndInitializeSid); at most kSidMaxSubAuthorities sub-authorities and an
// authority below 2^48, else ERangeError.
Sid MakeSid(uint64_t identifier_authority, const std::vector<uint32_t>& sub_authorities);
// The parts of a valid SID; false (ERROR_INVALID_SID) for bytes that are not one.
bool GetSidParts(const Sid& sid, uint64_t* identifier_authority, std::vector<uint32_t>* sub_authorities);

// The domain of the system's accounts.
inline constexpr const char* kUnixUserDomain = "Unix User";

// The domain of the machine's own accounts: the computer's name as Windows gives it to accounts (its
// NetBIOS form): the host name up to its first dot, in upper case, at most 15 characters.
std::string GetAccountDomainName();

enum class SidNameUse { kUser = 1, kGroup = 2, kDomain = 3, kAlias = 4, kWellKnownGroup = 5, kUnknown = 8 };

// The account of a SID: its name and the domain (authority) it belongs to. The machine's own domain
// SID gives the domain name for both, with kDomain. Fails with ERROR_NONE_MAPPED when no authority
// knows the SID, ERROR_INVALID_SID for malformed bytes.
bool LookupAccountSid(const Sid& sid, std::string* name, std::string* domain, SidNameUse* use = nullptr);

// The SID of an account given as "name" or "domain\name" ("." or an empty domain: the machine's
// accounts first, then the system's). Fails with ERROR_NONE_MAPPED.
bool LookupAccountName(const std::string& account, Sid* sid, std::string* domain, SidNameUse* use = nullptr);

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
// domain or "." asks the local database first, then the system). Every logon type checks the password
// alike; none opens a session. On success the token is set and the result is true. Failures:
//   ERROR_LOGON_FAILURE         unknown account or domain, wrong or empty password, a name or password
//                               holding a NUL character;
//   ERROR_ACCOUNT_DISABLED      a disabled account of the machine (told only after a right password);
//   ERROR_ACCOUNT_EXPIRED, ERROR_PASSWORD_MUST_CHANGE, ERROR_ACCOUNT_RESTRICTION
//                               the system's account management refused a right password;
//   ERROR_NO_LOGON_SERVERS      the system's authentication could not be asked (PAM failed);
//   ERROR_BUSY, ERROR_ACCESS_DENIED, ERROR_INTERNAL_DB_ERROR
//                               the account database could not be read.
bool LogonUser(const std::string& user, const std::string& domain, const std::string& password,
               LogonType type, std::unique_ptr<AccessToken>* token);

// A number that changes with every change of the machine's own accounts (added, deleted, a new
// password, disabled or enabled), made by this process or any other, and that is read without a
// query. Nothing where the platform cannot tell so cheaply (Windows, whose accounts the system keeps),
// and nothing when it could not be read: a cache of logons then keeps no verdict on those accounts.
std::optional<uint64_t> MachineAccountsVersion();

// Checks the password as LogonUser checks the password of one of the machine's accounts, against an
// account that does not exist, and forgets the outcome: a logon refused for a name that has no
// account then takes as long as one refused for a wrong password, so the time tells no one which
// names exist. An empty password, or one holding a NUL character, is refused at once here as there.
void CheckPasswordOfNoAccount(const std::string& password);

}  // namespace qv::platform
