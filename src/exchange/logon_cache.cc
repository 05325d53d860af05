#include "exchange/logon_cache.h"

#include <algorithm>
#include <utility>

#include "platform/clock/clock.h"

namespace qv {

constinit ProcessWide<TLogonCache> LogonCache("LogonCache");

namespace {

uint32_t LifetimeMs(int32_t seconds) {
  return static_cast<uint32_t>(std::clamp(seconds, 1, TLogonCache::kLongestLifetimeSeconds)) * 1000U;
}

bool IsSystemAccount(const TLogonCache::Account& account) {
  return account.Domain == platform::kUnixUserDomain;
}

}  // namespace

TLogonCache::TLogonCache(int32_t lifetime_seconds, size_t capacity, std::function<uint32_t()> clock,
                         VersionSource accounts_version)
    : lifetime_ms_(LifetimeMs(lifetime_seconds)),
      capacity_(std::max<size_t>(capacity, 1)),
      clock_(std::move(clock)),
      accounts_version_(std::move(accounts_version)) {}

TLogonCache::TLogonCache(int32_t lifetime_seconds)
    : TLogonCache(
          lifetime_seconds, kDefaultCapacity, [] { return platform::GetTickCount(); },
          [] { return platform::MachineAccountsVersion(); }) {}

bool TLogonCache::StillHolds(const Entry& entry, uint32_t now, std::optional<uint64_t> version) const {
  if (now - entry.checked_tick >= lifetime_ms_) return false;  // modulo 2^32
  return !entry.version || (version && *version == *entry.version);
}

std::optional<TLogonCache::Account> TLogonCache::Find(const platform::Sid& owner, std::string_view password,
                                                      std::optional<uint64_t> version) {
  // The digest outside the lock: it is the one costly step.
  const platform::KeyedDigest::Value digest = digest_.Of(password);
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = by_owner_.find(owner);
  if (found == by_owner_.end()) return std::nullopt;
  const Entries::iterator entry = found->second;
  if (!StillHolds(*entry, clock_(), version)) {
    by_owner_.erase(found);
    entries_.erase(entry);
    return std::nullopt;
  }
  if (!platform::KeyedDigest::Equal(entry->digest, digest)) return std::nullopt;
  entries_.splice(entries_.begin(), entries_, entry);
  return entry->account;
}

void TLogonCache::Remember(const platform::Sid& owner, std::string_view password, const Account& account,
                           std::optional<uint64_t> version) {
  const bool system_account = IsSystemAccount(account);
  // The machine's accounts are kept only where a change of them can be told.
  if (!system_account && !version) return;
  Keep(Entry{owner, account, digest_.Of(password), clock_(), system_account ? std::nullopt : version});
}

void TLogonCache::RememberForLifetime(const platform::Sid& key, std::string_view password,
                                      const Account& account) {
  Keep(Entry{key, account, digest_.Of(password), clock_(), std::nullopt});
}

void TLogonCache::Keep(Entry entry) {
  const platform::Sid owner = entry.owner;
  const std::lock_guard<std::mutex> lock(mutex_);
  if (const auto found = by_owner_.find(owner); found != by_owner_.end()) {
    *found->second = std::move(entry);
    entries_.splice(entries_.begin(), entries_, found->second);
    return;
  }
  if (entries_.size() >= capacity_) {
    by_owner_.erase(entries_.back().owner);
    entries_.pop_back();
  }
  entries_.push_front(std::move(entry));
  by_owner_.emplace(owner, entries_.begin());
}

size_t TLogonCache::Size() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace qv
