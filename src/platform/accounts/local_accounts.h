// The machine's own accounts, as the administrator manages them (NetUserAdd and its kin).
//
// On Linux they live in an account database of our own in the platform state directory
// (accounts.db, readable and writable by its owner alone): the machine SID S-1-5-21-x-y-z made once
// with the database, each account with its RID (from 1000 on, never given out twice) and a salted
// password hash of the system's crypt library. Names are 1 to 20 characters, compare without regard
// to ASCII case and keep their spelling; they may not hold control characters nor any of
// " / \ [ ] : ; | = , + * ? < > @, begin or end with a blank, end with a period or be made of periods
// and blanks alone. Passwords are 1 to 256 characters without NUL.
//
// Refusals return false and set the thread's last error: ERROR_INVALID_ACCOUNT_NAME, ERROR_USER_EXISTS,
// ERROR_NO_SUCH_USER, ERROR_PASSWORD_RESTRICTION. A database that cannot be opened, read or written
// raises SqliteError (its message names the file and the reason).
#pragma once

#include <string>
#include <vector>

#include "platform/accounts/accounts.h"

namespace qv::platform {

struct LocalAccount {
  std::string Name;
  Sid UserSid;
  bool Disabled = false;
};

// Creates an account; the database and the machine SID are made with the first one.
bool NetUserAdd(const std::string& name, const std::string& password);
// Sets a new password (NetUserSetInfo with a password).
bool NetUserSetPassword(const std::string& name, const std::string& password);
// Disables or enables an account; a disabled account resolves but cannot log on.
bool NetUserSetDisabled(const std::string& name, bool disabled);
// Deletes an account; its RID is never given to another account.
bool NetUserDel(const std::string& name);
// The accounts in the order of their names; none when there is no database yet.
bool NetUserEnum(std::vector<LocalAccount>* accounts);
// The account of a name, found without regard to case.
bool NetUserGetInfo(const std::string& name, LocalAccount* account);

// True when the text is a well-formed name for a new account.
bool IsValidLocalAccountName(const std::string& name);

}  // namespace qv::platform
