#include "platform/registry/registry_hive_posix.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_attributes.h"
#include "platform/files/file_system.h"
#include "platform/os/unique_fd_posix.h"

namespace qv::platform::posix {

namespace {

// Marks the database as a registry hive ("QVRG"), so that another database is never taken for one.
constexpr int64_t kHiveApplicationId = 0x51565247;
constexpr int64_t kSchemaVersion = 1;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

struct Root {
  HKEY handle;
  const char* name;
};
constexpr Root kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},   {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

int RootSlot(HKEY predefined) {
  const auto value = static_cast<uintptr_t>(predefined);
  if (value < 0x80000000u || value > 0x80000005u) return -1;
  return static_cast<int>(value - 0x80000000u);
}

// Names compare as Windows compares them: upper-cased, here by the Windows-1252 letters.
std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 'a' && byte <= 'z') {
      c = static_cast<char>(byte - 0x20);
    } else if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) {
      c = static_cast<char>(byte - 0x20);
    } else if (byte == 0x9A || byte == 0x9C || byte == 0x9E) {  // š œ ž
      c = static_cast<char>(byte - 0x10);
    } else if (byte == 0xFF) {  // ÿ
      c = static_cast<char>(0x9F);
    }
  }
  return folded;
}

// Splits a sub-key path into its key names. One trailing backslash is allowed; a leading one or an
// empty name between two is not.
uint32_t SplitPath(std::string_view path, std::vector<std::string_view>* names) {
  names->clear();
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if (name.empty()) return ERROR_BAD_PATHNAME;
    if (name.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    names->push_back(name);
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

// The system's own words for a POSIX error, after the hive's name.
std::string SystemText(int error_number) {
  return SystemErrorText(WinErrorFromErrno(error_number));
}

std::string WithoutDatabasePrefix(const SqliteError& error, const std::string& path) {
  const std::string prefix = "Database \"" + path + "\": ";
  const std::string& message = error.Message();
  return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size()) : message;
}

void CreateSchema(SqliteDatabase& database) {
  database.Exec(
      "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
      " name BLOB NOT NULL, folded BLOB NOT NULL, UNIQUE(parent, folded));"
      "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,"
      " name BLOB NOT NULL, folded BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
      " UNIQUE(key, folded));");
  auto insert = database.Prepare("INSERT INTO keys(parent, name, folded) VALUES(0, ?, ?)");
  for (const Root& root : kRoots) {
    insert.BindBlob(1, root.name).BindBlob(2, Folded(root.name)).Run();
    insert.Reset();
  }
  database.Exec("PRAGMA application_id=" + std::to_string(kHiveApplicationId) +
                "; PRAGMA user_version=" + std::to_string(kSchemaVersion));
}

}  // namespace

RegistryHive::RegistryHive(std::string path) : path_(std::move(path)) {
  try {
    Open();
  } catch (const SqliteError& error) {
    RaiseStoreError(WithoutDatabasePrefix(error, path_));
  }
}

void RegistryHive::RaiseStoreError(const std::string& reason) const {
  throw ERegistryStoreError("Registry hive \"" + path_ + "\": " + reason);
}

void RegistryHive::Open() {
  struct stat info;
  if (stat(path_.c_str(), &info) != 0) {
    if (errno != ENOENT) RaiseStoreError("cannot be examined: " + SystemText(errno));
    // A new hive is built beside the final name and linked into place complete, so that a hive file
    // of no length is always a damaged one, and two processes starting at once agree on one hive.
    std::string temporary = path_ + ".new-XXXXXX";
    UniqueFd file(mkstemp(temporary.data()));
    if (!file) RaiseStoreError("cannot be created: " + SystemText(errno));
    fchmod(file.get(), 0600);
    file.reset();
    try {
      SqliteDatabase fresh(temporary, SqliteDatabase::Mode::kReadWrite);
      fresh.Exec("PRAGMA journal_mode=WAL");
      SqliteDatabase::Transaction transaction(fresh);
      CreateSchema(fresh);
      transaction.Commit();
    } catch (...) {
      unlink(temporary.c_str());
      throw;
    }
    int linked = link(temporary.c_str(), path_.c_str());
    int link_error = errno;
    if (linked != 0 && (link_error == EPERM || link_error == EOPNOTSUPP)) {
      // A file system without hard links: move it into place unless another process was first.
      if (access(path_.c_str(), F_OK) == 0) {
        link_error = EEXIST;
      } else {
        linked = rename(temporary.c_str(), path_.c_str());
        link_error = errno;
      }
    }
    unlink(temporary.c_str());
    if (linked != 0 && link_error != EEXIST) RaiseStoreError("cannot be created: " + SystemText(link_error));
    if (stat(path_.c_str(), &info) != 0) RaiseStoreError("cannot be examined: " + SystemText(errno));
  }
  if (S_ISDIR(info.st_mode)) RaiseStoreError("is a directory, not a registry hive");
  // A hive an earlier version made readable by everyone becomes its owner's alone (when this process
  // owns it; another reads it as it is).
  RestrictToOwner(path_);
  if (info.st_size == 0)
    RaiseStoreError("the file is empty (truncated?); restore it or remove it for a new hive");

  const bool protected_file = IsWriteProtected();
  database_ = std::make_unique<SqliteDatabase>(
      path_, protected_file ? SqliteDatabase::Mode::kReadOnly : SqliteDatabase::Mode::kReadWrite);
  opened_read_only_ = database_->IsReadOnly();
  if (!opened_read_only_) database_->Exec("PRAGMA journal_mode=WAL");
  CheckIntegrity();
  PrepareSchema();
}

void RegistryHive::CheckIntegrity() {
  auto check = database_->Prepare("PRAGMA quick_check(1)");
  if (!check.Step()) RaiseStoreError("the integrity check gave no answer");
  const std::string verdict = check.ColumnText(0);
  if (verdict != "ok") RaiseStoreError("is damaged: " + verdict);
}

void RegistryHive::PrepareSchema() {
  auto application = database_->Prepare("PRAGMA application_id");
  const int64_t application_id = application.Step() ? application.ColumnInt64(0) : 0;
  auto tables = database_->Prepare(
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')");
  const int64_t table_count = tables.Step() ? tables.ColumnInt64(0) : 0;
  if (application_id != kHiveApplicationId || table_count != 2)
    RaiseStoreError("the file is not a registry hive");

  auto roots = database_->Prepare("SELECT id FROM keys WHERE parent = 0 AND folded = ?");
  for (const Root& root : kRoots) {
    roots.BindBlob(1, Folded(root.name));
    if (!roots.Step()) RaiseStoreError(std::string("is damaged: the root key ") + root.name + " is missing");
    roots_[RootSlot(root.handle)] = roots.ColumnInt64(0);
    roots.Reset();
  }
}

bool RegistryHive::IsWriteProtected() const {
  if (opened_read_only_) return true;
  const uint32_t attributes = GetFileAttributes(path_);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

int64_t RegistryHive::RootKey(HKEY predefined) const {
  const int slot = RootSlot(predefined);
  return slot < 0 ? 0 : roots_[slot];
}

uint32_t RegistryHive::Guarded(bool writing, const std::function<uint32_t()>& step) {
  if (writing && IsWriteProtected()) return ERROR_ACCESS_DENIED;
  try {
    return step();
  } catch (const SqliteError& error) {
    if (writing && error.IsReadOnly()) return ERROR_ACCESS_DENIED;
    if (writing && error.IsFull()) return ERROR_DISK_FULL;
    RaiseStoreError(WithoutDatabasePrefix(error, path_));
  }
}

bool RegistryHive::KeyExists(int64_t key) {
  auto query = database_->Prepare("SELECT 1 FROM keys WHERE id = ?");
  query.Bind(1, key);
  return query.Step();
}

int64_t RegistryHive::FindChild(int64_t parent, std::string_view name) {
  auto query = database_->Prepare("SELECT id FROM keys WHERE parent = ? AND folded = ?");
  query.Bind(1, parent).BindBlob(2, Folded(name));
  return query.Step() ? query.ColumnInt64(0) : 0;
}

int64_t RegistryHive::InsertChild(int64_t parent, std::string_view name) {
  auto insert = database_->Prepare("INSERT INTO keys(parent, name, folded) VALUES(?, ?, ?)");
  insert.Bind(1, parent).BindBlob(2, name).BindBlob(3, Folded(name)).Run();
  return database_->LastInsertRowId();
}

uint32_t RegistryHive::Walk(int64_t base, std::string_view path, int64_t* key) {
  std::vector<std::string_view> names;
  if (const uint32_t code = SplitPath(path, &names); code != ERROR_SUCCESS) return code;
  if (!KeyExists(base)) return ERROR_KEY_DELETED;
  int64_t current = base;
  for (const std::string_view name : names) {
    current = FindChild(current, name);
    if (current == 0) return ERROR_FILE_NOT_FOUND;
  }
  *key = current;
  return ERROR_SUCCESS;
}

uint32_t RegistryHive::OpenKey(int64_t base, std::string_view path, int64_t* key) {
  return Guarded(false, [&] { return Walk(base, path, key); });
}

uint32_t RegistryHive::CreateKey(int64_t base, std::string_view path, int64_t* key, bool* created) {
  std::vector<std::string_view> names;
  if (const uint32_t code = SplitPath(path, &names); code != ERROR_SUCCESS) return code;
  // An existing key is opened without asking for the write lock, so reading a write-protected hive
  // through the creating call works as it does on Windows.
  int64_t existing = 0;
  if (const uint32_t code = OpenKey(base, path, &existing); code != ERROR_FILE_NOT_FOUND) {
    if (code == ERROR_SUCCESS) {
      *key = existing;
      *created = false;
    }
    return code;
  }
  return Guarded(true, [&] {
    SqliteDatabase::Transaction transaction(*database_);
    if (!KeyExists(base)) return static_cast<uint32_t>(ERROR_KEY_DELETED);
    int64_t current = base;
    bool inserted = false;
    for (const std::string_view name : names) {
      const int64_t child = FindChild(current, name);
      inserted = child == 0;
      current = inserted ? InsertChild(current, name) : child;
    }
    transaction.Commit();
    *key = current;
    *created = inserted;
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

uint32_t RegistryHive::DeleteKey(int64_t base, std::string_view path) {
  return Guarded(true, [&] {
    SqliteDatabase::Transaction transaction(*database_);
    int64_t key = 0;
    if (const uint32_t code = Walk(base, path, &key); code != ERROR_SUCCESS) return code;
    auto parent = database_->Prepare("SELECT parent FROM keys WHERE id = ?");
    parent.Bind(1, key);
    if (!parent.Step() || parent.ColumnInt64(0) == 0) return static_cast<uint32_t>(ERROR_ACCESS_DENIED);
    auto children = database_->Prepare("SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
    children.Bind(1, key);
    if (children.Step()) return static_cast<uint32_t>(ERROR_ACCESS_DENIED);
    database_->Prepare("DELETE FROM vals WHERE key = ?").Bind(1, key).Run();
    database_->Prepare("DELETE FROM keys WHERE id = ?").Bind(1, key).Run();
    transaction.Commit();
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

uint32_t RegistryHive::QueryValue(int64_t key, std::string_view name, uint32_t* type, std::string* data) {
  return Guarded(false, [&] {
    auto query = database_->Prepare("SELECT type, data FROM vals WHERE key = ? AND folded = ?");
    query.Bind(1, key).BindBlob(2, Folded(name));
    if (!query.Step())
      return static_cast<uint32_t>(KeyExists(key) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED);
    *type = static_cast<uint32_t>(query.ColumnInt64(0));
    *data = query.ColumnBlob(1);
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

uint32_t RegistryHive::SetValue(int64_t key, std::string_view name, uint32_t type, std::string_view data) {
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  return Guarded(true, [&] {
    SqliteDatabase::Transaction transaction(*database_);
    if (!KeyExists(key)) return static_cast<uint32_t>(ERROR_KEY_DELETED);
    // Replacing a value keeps its spelling and its place among the key's values.
    database_
        ->Prepare(
            "INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?)"
            " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data")
        .Bind(1, key)
        .BindBlob(2, name)
        .BindBlob(3, Folded(name))
        .Bind(4, static_cast<int64_t>(type))
        .BindBlob(5, data)
        .Run();
    transaction.Commit();
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

uint32_t RegistryHive::DeleteValue(int64_t key, std::string_view name) {
  return Guarded(true, [&] {
    SqliteDatabase::Transaction transaction(*database_);
    if (!KeyExists(key)) return static_cast<uint32_t>(ERROR_KEY_DELETED);
    database_->Prepare("DELETE FROM vals WHERE key = ? AND folded = ?")
        .Bind(1, key)
        .BindBlob(2, Folded(name))
        .Run();
    const bool deleted = database_->Changes() > 0;
    transaction.Commit();
    return static_cast<uint32_t>(deleted ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  });
}

uint32_t RegistryHive::EnumKey(int64_t key, uint32_t index, std::string* name) {
  return Guarded(false, [&] {
    auto query =
        database_->Prepare("SELECT name FROM keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
    query.Bind(1, key).Bind(2, static_cast<int64_t>(index));
    if (!query.Step()) return static_cast<uint32_t>(KeyExists(key) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED);
    *name = query.ColumnBlob(0);
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

uint32_t RegistryHive::EnumValue(int64_t key, uint32_t index, std::string* name, uint32_t* type,
                                 std::string* data) {
  return Guarded(false, [&] {
    auto query =
        database_->Prepare("SELECT name, type, data FROM vals WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
    query.Bind(1, key).Bind(2, static_cast<int64_t>(index));
    if (!query.Step()) return static_cast<uint32_t>(KeyExists(key) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED);
    *name = query.ColumnBlob(0);
    *type = static_cast<uint32_t>(query.ColumnInt64(1));
    *data = query.ColumnBlob(2);
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

uint32_t RegistryHive::BeginTransaction() {
  return Guarded(true, [&] {
    transaction_.emplace(*database_);
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

uint32_t RegistryHive::CommitTransaction() {
  if (!transaction_) return ERROR_INVALID_PARAMETER;
  return Guarded(true, [&] {
    transaction_->Commit();
    transaction_.reset();
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

uint32_t RegistryHive::QueryInfo(int64_t key, KeyInfo* info) {
  return Guarded(false, [&] {
    if (!KeyExists(key)) return static_cast<uint32_t>(ERROR_KEY_DELETED);
    auto keys =
        database_->Prepare("SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent = ?");
    keys.Bind(1, key);
    keys.Step();
    info->sub_keys = static_cast<uint32_t>(keys.ColumnInt64(0));
    info->max_sub_key_length = static_cast<uint32_t>(keys.ColumnInt64(1));
    auto values = database_->Prepare(
        "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) FROM vals WHERE key "
        "= ?");
    values.Bind(1, key);
    values.Step();
    info->values = static_cast<uint32_t>(values.ColumnInt64(0));
    info->max_value_name_length = static_cast<uint32_t>(values.ColumnInt64(1));
    info->max_value_length = static_cast<uint32_t>(values.ColumnInt64(2));
    return static_cast<uint32_t>(ERROR_SUCCESS);
  });
}

}  // namespace qv::platform::posix
