#include "platform/accounts/local_account_database_posix.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"
#include "platform/os/unique_fd_posix.h"

namespace qv::platform::posix {

namespace {

constexpr const char* kFileName = "accounts.db";
constexpr uint64_t kNtAuthority = 5;
constexpr uint32_t kNonUniqueAuthority = 21;  // SECURITY_NT_NON_UNIQUE: machine and domain SIDs
constexpr int kSchemaVersion = 1;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS machine ("
    "  id INTEGER PRIMARY KEY CHECK (id = 1),"
    "  sid BLOB NOT NULL,"
    "  next_rid INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS accounts ("
    "  rid INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    "  password_hash TEXT NOT NULL,"
    "  disabled INTEGER NOT NULL DEFAULT 0);";

[[noreturn]] void RaiseFromErrno(const std::string& what, int error) {
  const uint32_t code = WinErrorFromErrno(error);
  throw EWin32Error(what + ": " + SystemErrorText(code), code);
}

// Creates the file readable and writable by its owner alone before SQLite opens it (SQLite gives its
// journal the same permissions), and takes away what others may do with an existing one.
void MakeOwnerOnlyFile(const std::string& path) {
  UniqueFd file(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!file) RaiseFromErrno("Cannot open the account database \"" + path + "\"", errno);
  struct stat info;
  if (fstat(file.get(), &info) != 0) RaiseFromErrno("Cannot examine \"" + path + "\"", errno);
  if ((info.st_mode & 077) != 0 && fchmod(file.get(), info.st_mode & 0700) != 0)
    RaiseFromErrno("Cannot make \"" + path + "\" private", errno);
}

uint32_t RandomSubAuthority() {
  uint32_t value = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&value);
  size_t filled = 0;
  while (filled < sizeof(value)) {
    const ssize_t got = getrandom(bytes + filled, sizeof(value) - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      RaiseFromErrno("Cannot make the machine SID", errno);
    }
    filled += static_cast<size_t>(got);
  }
  return value;
}

LocalAccountDatabase::Account ReadAccount(const SqliteStatement& row) {
  LocalAccountDatabase::Account account;
  account.Rid = static_cast<uint32_t>(row.ColumnInt64(0));
  account.Name = row.ColumnText(1);
  account.PasswordHash = row.ColumnText(2);
  account.Disabled = row.ColumnInt64(3) != 0;
  return account;
}

// Where SQLite keeps its file change counter: 4 bytes, big-endian.
constexpr off_t kChangeCounterOffset = 24;

uint64_t MixedIn(uint64_t hash, uint64_t value) {
  // FNV-1a over the value's bytes: a change in any part changes the result.
  for (int i = 0; i < 8; ++i) {
    hash ^= (value >> (8 * i)) & 0xFF;
    hash *= 0x100000001B3ULL;
  }
  return hash;
}

constexpr const char* kSelectAccount = "SELECT rid, name, password_hash, disabled FROM accounts ";

}  // namespace

std::string LocalAccountDatabase::Path() {
  return PlatformStateDirectory() + "/" + kFileName;
}

LocalAccountDatabase::LocalAccountDatabase(std::unique_ptr<SqliteDatabase> database)
    : database_(std::move(database)) {}

std::unique_ptr<LocalAccountDatabase> LocalAccountDatabase::OpenForChanges() {
  const std::string path = PlatformStateFile(kFileName);
  MakeOwnerOnlyFile(path);
  auto database = std::make_unique<SqliteDatabase>(path, SqliteDatabase::Mode::kReadWrite);
  {
    SqliteDatabase::Transaction transaction(*database);
    database->Exec(kSchema);
    auto insert = database->Prepare(
        "INSERT INTO machine (id, sid, next_rid) SELECT 1, ?, ? WHERE NOT EXISTS (SELECT 1 FROM machine)");
    insert.BindBlob(1, MakeSid(kNtAuthority, {kNonUniqueAuthority, RandomSubAuthority(), RandomSubAuthority(),
                                              RandomSubAuthority()}));
    insert.Bind(2, int64_t{kFirstRid});
    insert.Run();
    database->Exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.Commit();
  }
  std::unique_ptr<LocalAccountDatabase> opened(new LocalAccountDatabase(std::move(database)));
  opened->ReadMachineSid();
  return opened;
}

std::optional<uint64_t> LocalAccountDatabase::Version() {
  UniqueFd file(open(Path().c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) {
    if (errno == ENOENT) return 0;
    return std::nullopt;
  }
  struct stat info;
  unsigned char counter[4];
  if (fstat(file.get(), &info) != 0 || pread(file.get(), counter, sizeof counter, kChangeCounterOffset) !=
                                           static_cast<ssize_t>(sizeof counter))
    return std::nullopt;  // unreadable, or a file whose first writer has not written its header yet
  uint64_t hash = 0xCBF29CE484222325ULL;
  hash = MixedIn(hash, (uint64_t{counter[0]} << 24) | (uint64_t{counter[1]} << 16) |
                           (uint64_t{counter[2]} << 8) | counter[3]);
  hash = MixedIn(hash, static_cast<uint64_t>(info.st_dev));
  hash = MixedIn(hash, static_cast<uint64_t>(info.st_ino));
  hash = MixedIn(hash, static_cast<uint64_t>(info.st_mtim.tv_sec));
  hash = MixedIn(hash, static_cast<uint64_t>(info.st_mtim.tv_nsec));
  hash = MixedIn(hash, static_cast<uint64_t>(info.st_size));
  return hash == 0 ? 1 : hash;  // 0 stands for no file
}

std::unique_ptr<LocalAccountDatabase> LocalAccountDatabase::OpenForReading() {
  const std::string path = Path();
  if (!FileExists(path)) return nullptr;
  auto database = std::make_unique<SqliteDatabase>(path, SqliteDatabase::Mode::kReadOnly);
  // A file whose first writer has not committed its tables yet holds no account.
  auto tables =
      database->Prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'machine'");
  if (!tables.Step() || tables.ColumnInt64(0) == 0) return nullptr;
  std::unique_ptr<LocalAccountDatabase> opened(new LocalAccountDatabase(std::move(database)));
  opened->ReadMachineSid();
  return opened;
}

void LocalAccountDatabase::ReadMachineSid() {
  auto query = database_->Prepare("SELECT sid FROM machine WHERE id = 1");
  uint64_t authority = 0;
  if (!query.Step() || !GetSidParts(query.ColumnBlob(0), &authority, &machine_parts_) ||
      authority != kNtAuthority || machine_parts_.size() != 4 || machine_parts_[0] != kNonUniqueAuthority)
    throw SqliteError("Database \"" + database_->Path() + "\": no valid machine SID", SQLITE_CORRUPT);
  machine_sid_ = query.ColumnBlob(0);
}

Sid LocalAccountDatabase::AccountSid(uint32_t rid) const {
  std::vector<uint32_t> parts = machine_parts_;
  parts.push_back(rid);
  return MakeSid(kNtAuthority, parts);
}

std::optional<uint32_t> LocalAccountDatabase::RidOf(const Sid& sid) const {
  uint64_t authority = 0;
  std::vector<uint32_t> parts;
  if (!GetSidParts(sid, &authority, &parts) || authority != kNtAuthority ||
      parts.size() != machine_parts_.size() + 1 ||
      !std::equal(machine_parts_.begin(), machine_parts_.end(), parts.begin()))
    return std::nullopt;
  return parts.back();
}

std::optional<LocalAccountDatabase::Account> LocalAccountDatabase::FindByName(const std::string& name) {
  auto query = database_->Prepare(std::string(kSelectAccount) + "WHERE name = ?");
  query.Bind(1, name);
  if (!query.Step()) return std::nullopt;
  return ReadAccount(query);
}

std::optional<LocalAccountDatabase::Account> LocalAccountDatabase::FindByRid(uint32_t rid) {
  auto query = database_->Prepare(std::string(kSelectAccount) + "WHERE rid = ?");
  query.Bind(1, int64_t{rid});
  if (!query.Step()) return std::nullopt;
  return ReadAccount(query);
}

std::vector<LocalAccountDatabase::Account> LocalAccountDatabase::All() {
  auto query = database_->Prepare(std::string(kSelectAccount) + "ORDER BY name, rid");
  std::vector<Account> accounts;
  while (query.Step()) accounts.push_back(ReadAccount(query));
  return accounts;
}

std::optional<uint32_t> LocalAccountDatabase::Add(const std::string& name, const std::string& password_hash) {
  SqliteDatabase::Transaction transaction(*database_);
  if (FindByName(name)) return std::nullopt;
  auto next = database_->Prepare("SELECT next_rid FROM machine WHERE id = 1");
  if (!next.Step())
    throw SqliteError("Database \"" + database_->Path() + "\": no machine row", SQLITE_CORRUPT);
  const int64_t rid = next.ColumnInt64(0);
  if (rid < kFirstRid || rid > int64_t{UINT32_MAX})
    throw SqliteError("Database \"" + database_->Path() + "\": no RID left to give out", SQLITE_FULL);
  auto insert = database_->Prepare("INSERT INTO accounts (rid, name, password_hash) VALUES (?, ?, ?)");
  insert.Bind(1, rid).Bind(2, name).Bind(3, password_hash).Run();
  // RIDs only grow: a deleted account's RID never comes back, so a SID kept elsewhere (a mailbox's
  // owner) can never name a newer account.
  database_->Prepare("UPDATE machine SET next_rid = ? WHERE id = 1").Bind(1, rid + 1).Run();
  transaction.Commit();
  return static_cast<uint32_t>(rid);
}

bool LocalAccountDatabase::SetPasswordHash(const std::string& name, const std::string& password_hash) {
  database_->Prepare("UPDATE accounts SET password_hash = ? WHERE name = ?")
      .Bind(1, password_hash)
      .Bind(2, name)
      .Run();
  return database_->Changes() > 0;
}

bool LocalAccountDatabase::SetDisabled(const std::string& name, bool disabled) {
  database_->Prepare("UPDATE accounts SET disabled = ? WHERE name = ?")
      .Bind(1, int64_t{disabled ? 1 : 0})
      .Bind(2, name)
      .Run();
  return database_->Changes() > 0;
}

bool LocalAccountDatabase::Remove(const std::string& name) {
  database_->Prepare("DELETE FROM accounts WHERE name = ?").Bind(1, name).Run();
  return database_->Changes() > 0;
}

uint32_t WinErrorFromDatabaseError(const SqliteError& error) {
  if (error.IsBusy()) return ERROR_BUSY;
  if (error.IsReadOnly()) return ERROR_ACCESS_DENIED;
  return ERROR_INTERNAL_DB_ERROR;
}

}  // namespace qv::platform::posix
