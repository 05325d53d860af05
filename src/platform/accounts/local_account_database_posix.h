// The machine's account database: an SQLite file of the platform state directory that holds the
// machine SID, the next RID to give out, and each account's RID, name, password hash and disabled
// flag. Internal to the POSIX platform layer; local_accounts_posix.cc and accounts_posix.cc use it.
//
// SQLite's rollback journal, not WAL: the database is rarely written, and a reader then needs no -shm
// file beside it. Lookups and logons open it for reading and take a missing file for an empty
// database; only the administrator's changes create it, and with it the machine SID (from random
// bytes of the system, once).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/accounts/accounts.h"
#include "platform/sqlite/sqlite_database.h"

namespace qv::platform::posix {

class LocalAccountDatabase {
 public:
  static constexpr uint32_t kFirstRid = 1000;

  struct Account {
    uint32_t Rid = 0;
    std::string Name;
    std::string PasswordHash;
    bool Disabled = false;
  };

  // The database file's path in the platform state directory.
  static std::string Path();
  // Opens the database for changes: the file (owner-only), its tables and the machine SID are made
  // when missing, and a file that others may read is made owner-only.
  static std::unique_ptr<LocalAccountDatabase> OpenForChanges();
  // Changes with every committed change of the file: SQLite's change counter in the file's header
  // (a rollback-journal database counts every write transaction there), mixed with the file's
  // identity and modification time, so that a file made anew never repeats an old value. 0 when the
  // file does not exist; nothing when it cannot be read. One open and one read, no query.
  static std::optional<uint64_t> Version();
  // Opens the database for reading; nothing when it does not exist yet.
  static std::unique_ptr<LocalAccountDatabase> OpenForReading();

  // The machine SID S-1-5-21-x-y-z and the SID of one of its accounts.
  const Sid& MachineSid() const { return machine_sid_; }
  Sid AccountSid(uint32_t rid) const;
  // The RID of a SID of this machine's domain; nothing for any other SID.
  std::optional<uint32_t> RidOf(const Sid& sid) const;

  std::optional<Account> FindByName(const std::string& name);
  std::optional<Account> FindByRid(uint32_t rid);
  std::vector<Account> All();

  // Adds an account with the next RID and returns it; nothing when the name is taken.
  std::optional<uint32_t> Add(const std::string& name, const std::string& password_hash);
  // False when no account has the name.
  bool SetPasswordHash(const std::string& name, const std::string& password_hash);
  bool SetDisabled(const std::string& name, bool disabled);
  bool Remove(const std::string& name);

 private:
  explicit LocalAccountDatabase(std::unique_ptr<SqliteDatabase> database);
  void ReadMachineSid();

  std::unique_ptr<SqliteDatabase> database_;
  Sid machine_sid_;
  std::vector<uint32_t> machine_parts_;  // 21, x, y, z
};

// The Windows error code for a failure of the account database.
uint32_t WinErrorFromDatabaseError(const SqliteError& error);

}  // namespace qv::platform::posix
