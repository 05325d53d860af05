// TLogonCache: the owners whose password was verified lately, so that a phone's next pages (each
// carries the password again) skip the password hash check and the account lookup.
//
// An entry keeps the owner's SID, the account a successful check found, when the check was made, the
// machine's accounts version read before it (platform::MachineAccountsVersion) and an HMAC-SHA-256 of
// the password under a key made at process start (platform::KeyedDigest): never the password, never
// an unkeyed hash of it. It answers for the same password within its lifetime; for one of the
// machine's accounts only while the version is the same, so that a password change, a deletion or a
// disabling by any process takes effect on the next request. The system's accounts (PAM) have no
// such version: theirs stand for the lifetime alone. Where the platform tells no version, the
// machine's accounts are not kept at all. A failed check is never kept, and another password leaves a
// good entry in place. At most the capacity of entries; the least recently used goes first.
// Thread-safe.
//
// The connection server keeps the process's cache when LogonCacheSeconds is above 0 and installs it in
// LogonCache; without one installed, every logon is checked.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/accounts/accounts.h"
#include "platform/accounts/keyed_digest.h"
#include "support/process_wide.h"

namespace qv {

class TLogonCache {
 public:
  // The account a check found, as its logon token names it.
  struct Account {
    std::string UserName;
    std::string Domain;
    platform::Sid UserSid;
  };
  using VersionSource = std::function<std::optional<uint64_t>()>;

  // The lifetime in seconds (1 to kLongestLifetimeSeconds; beyond it counts as the longest), the most
  // entries, the millisecond tick (wrapping at 2^32) and the accounts version.
  TLogonCache(int32_t lifetime_seconds, size_t capacity, std::function<uint32_t()> clock,
              VersionSource accounts_version);
  // With the default capacity, the platform's tick and the platform's accounts version.
  explicit TLogonCache(int32_t lifetime_seconds);
  TLogonCache(const TLogonCache&) = delete;
  TLogonCache& operator=(const TLogonCache&) = delete;

  // The version a check starts with: read before the account is looked up, so that a change made
  // while the check runs makes its entry stale.
  std::optional<uint64_t> AccountsVersion() const { return accounts_version_(); }

  // The account of the owner when this password was verified for it within the lifetime, and for the
  // machine's accounts under this version. Nothing otherwise; an entry that no longer holds is dropped.
  std::optional<Account> Find(const platform::Sid& owner, std::string_view password,
                              std::optional<uint64_t> version);
  // Keeps a successful check of the password for the owner, made under the version read before it.
  void Remember(const platform::Sid& owner, std::string_view password, const Account& account,
                std::optional<uint64_t> version);
  // Keeps a successful check for the lifetime alone, whatever the account: for authorities that tell
  // no change of a password (a CalDAV server; the key is then the collection and its user).
  void RememberForLifetime(const platform::Sid& key, std::string_view password, const Account& account);

  size_t Size() const;

  static constexpr size_t kDefaultCapacity = 4096;
  static constexpr int32_t kLongestLifetimeSeconds = 86400;

 private:
  struct Entry {
    platform::Sid owner;
    Account account;
    platform::KeyedDigest::Value digest;
    uint32_t checked_tick = 0;
    std::optional<uint64_t> version;  // nothing for the system's accounts
  };
  using Entries = std::list<Entry>;  // most recently used first

  bool StillHolds(const Entry& entry, uint32_t now, std::optional<uint64_t> version) const;
  void Keep(Entry entry);

  const uint32_t lifetime_ms_;
  const size_t capacity_;
  const std::function<uint32_t()> clock_;
  const VersionSource accounts_version_;
  const platform::KeyedDigest digest_;
  mutable std::mutex mutex_;
  Entries entries_;
  std::unordered_map<platform::Sid, Entries::iterator> by_owner_;
};

extern ProcessWide<TLogonCache> LogonCache;

}  // namespace qv
