// The administrator's management of the machine's accounts over the account database.
#include <algorithm>
#include <cstring>

#include "platform/accounts/local_account_database_posix.h"
#include "platform/accounts/local_account_rules.h"
#include "platform/accounts/local_accounts.h"
#include "platform/accounts/password_hash_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"

namespace qv::platform {

namespace {

// The database for a change to an existing account; nothing when there is no database yet.
std::unique_ptr<posix::LocalAccountDatabase> OpenForChangesIfAny() {
  if (!FileExists(posix::LocalAccountDatabase::Path())) return nullptr;
  return posix::LocalAccountDatabase::OpenForChanges();
}

LocalAccount ToLocalAccount(const posix::LocalAccountDatabase& database,
                            const posix::LocalAccountDatabase::Account& account) {
  return LocalAccount{account.Name, database.AccountSid(account.Rid), account.Disabled};
}

}  // namespace

bool NetUserAdd(const std::string& name, const std::string& password) {
  if (!IsValidLocalAccountName(name)) return FailWith(ERROR_INVALID_ACCOUNT_NAME);
  if (!IsValidLocalAccountPassword(password)) return FailWith(ERROR_PASSWORD_RESTRICTION);
  const auto database = posix::LocalAccountDatabase::OpenForChanges();
  if (database->FindByName(name)) return FailWith(ERROR_USER_EXISTS);  // before the slow hashing
  if (!database->Add(name, posix::HashPassword(password))) return FailWith(ERROR_USER_EXISTS);
  return true;
}

bool NetUserSetPassword(const std::string& name, const std::string& password) {
  if (!IsValidLocalAccountPassword(password)) return FailWith(ERROR_PASSWORD_RESTRICTION);
  const auto database = OpenForChangesIfAny();
  if (!database || !database->FindByName(name)) return FailWith(ERROR_NO_SUCH_USER);
  return database->SetPasswordHash(name, posix::HashPassword(password)) || FailWith(ERROR_NO_SUCH_USER);
}

bool NetUserSetDisabled(const std::string& name, bool disabled) {
  const auto database = OpenForChangesIfAny();
  return (database && database->SetDisabled(name, disabled)) || FailWith(ERROR_NO_SUCH_USER);
}

bool NetUserDel(const std::string& name) {
  const auto database = OpenForChangesIfAny();
  return (database && database->Remove(name)) || FailWith(ERROR_NO_SUCH_USER);
}

bool NetUserEnum(std::vector<LocalAccount>* accounts) {
  accounts->clear();
  const auto database = posix::LocalAccountDatabase::OpenForReading();
  if (!database) return true;
  for (const auto& account : database->All()) accounts->push_back(ToLocalAccount(*database, account));
  return true;
}

bool NetUserGetInfo(const std::string& name, LocalAccount* account) {
  const auto database = posix::LocalAccountDatabase::OpenForReading();
  const auto found = database ? database->FindByName(name) : std::nullopt;
  if (!found) return FailWith(ERROR_NO_SUCH_USER);
  *account = ToLocalAccount(*database, *found);
  return true;
}

}  // namespace qv::platform
