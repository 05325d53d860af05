#include "platform/sqlite/sqlite_database.h"

#include <sqlite3.h>

#include <utility>

#include "platform/files/file_system.h"

namespace qv::platform {

namespace {

std::string ErrorText(sqlite3* database, int code, const std::string& path) {
  const char* reason = database != nullptr ? sqlite3_errmsg(database) : sqlite3_errstr(code);
  return "Database \"" + path + "\": " + (reason != nullptr ? reason : sqlite3_errstr(code));
}

}  // namespace

bool SqliteError::IsBusy() const {
  return (ResultCode & 0xFF) == SQLITE_BUSY || (ResultCode & 0xFF) == SQLITE_LOCKED;
}
bool SqliteError::IsReadOnly() const {
  return (ResultCode & 0xFF) == SQLITE_READONLY || (ResultCode & 0xFF) == SQLITE_CANTOPEN ||
         (ResultCode & 0xFF) == SQLITE_PERM;
}
bool SqliteError::IsFull() const {
  return (ResultCode & 0xFF) == SQLITE_FULL;
}

SqliteStatementCache::~SqliteStatementCache() {
  Close();
}

sqlite3_stmt* SqliteStatementCache::Take(const std::string& sql) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = idle_.find(sql);
  if (found == idle_.end()) return nullptr;
  sqlite3_stmt* const statement = found->second;
  idle_.erase(found);
  return statement;
}

void SqliteStatementCache::Give(std::string sql, sqlite3_stmt* statement) {
  // Reset, a statement holds no lock and no read transaction while it waits.
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_ && idle_.size() < kCapacity) {
      idle_.emplace(std::move(sql), statement);
      return;
    }
  }
  sqlite3_finalize(statement);
}

void SqliteStatementCache::Close() {
  const std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  for (const auto& [sql, statement] : idle_) sqlite3_finalize(statement);
  idle_.clear();
}

SqliteStatement::SqliteStatement(sqlite3* database, sqlite3_stmt* statement, std::string path)
    : database_(database), statement_(statement), path_(std::move(path)) {}

SqliteStatement::SqliteStatement(sqlite3* database, sqlite3_stmt* statement, std::string path,
                                 std::shared_ptr<SqliteStatementCache> cache, std::string sql)
    : database_(database),
      statement_(statement),
      path_(std::move(path)),
      cache_(std::move(cache)),
      sql_(std::move(sql)) {}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : database_(other.database_),
      statement_(other.statement_),
      path_(std::move(other.path_)),
      cache_(std::move(other.cache_)),
      sql_(std::move(other.sql_)) {
  other.statement_ = nullptr;
}

SqliteStatement::~SqliteStatement() {
  if (statement_ == nullptr) return;
  if (cache_ != nullptr) {
    cache_->Give(std::move(sql_), statement_);
  } else {
    sqlite3_finalize(statement_);
  }
}

void SqliteStatement::Raise(int code) const {
  throw SqliteError(ErrorText(database_, code, path_), code);
}

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
  if (const int code = sqlite3_bind_int64(statement_, index, value); code != SQLITE_OK) Raise(code);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, double value) {
  if (const int code = sqlite3_bind_double(statement_, index, value); code != SQLITE_OK) Raise(code);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
  const int code =
      sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (code != SQLITE_OK) Raise(code);
  return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, std::string_view bytes) {
  // A zero-length blob must still be a blob, not NULL: give SQLite a valid address.
  static const char kEmpty = 0;
  const int code = sqlite3_bind_blob64(statement_, index, bytes.empty() ? &kEmpty : bytes.data(),
                                       bytes.size(), SQLITE_TRANSIENT);
  if (code != SQLITE_OK) Raise(code);
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
  if (const int code = sqlite3_bind_null(statement_, index); code != SQLITE_OK) Raise(code);
  return *this;
}

bool SqliteStatement::Step() {
  const int code = sqlite3_step(statement_);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  sqlite3_reset(statement_);
  Raise(code);
}

void SqliteStatement::Run() {
  while (Step()) {
  }
}

void SqliteStatement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

int64_t SqliteStatement::ColumnInt64(int column) const {
  return sqlite3_column_int64(statement_, column);
}

double SqliteStatement::ColumnDouble(int column) const {
  return sqlite3_column_double(statement_, column);
}

std::string SqliteStatement::ColumnText(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  const int size = sqlite3_column_bytes(statement_, column);
  return text != nullptr ? std::string(text, static_cast<size_t>(size)) : std::string();
}

std::string SqliteStatement::ColumnBlob(int column) const {
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
  const int size = sqlite3_column_bytes(statement_, column);
  return bytes != nullptr ? std::string(bytes, static_cast<size_t>(size)) : std::string();
}

SqliteDatabase::SqliteDatabase(const std::string& path, Mode mode, int busy_timeout_ms) : path_(path) {
  if (mode == Mode::kReadWriteCreate) {
    // Made private before the library makes it (its journals take the database's rights), and one
    // that an earlier version left readable by everyone made so; failures leave it to the open.
    CreateOwnerOnlyFile(path);
    for (const char* suffix : {"", "-wal", "-shm"}) RestrictToOwner(path + suffix);
  }
  int flags = SQLITE_OPEN_FULLMUTEX;
  switch (mode) {
    case Mode::kReadWriteCreate:
      flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
      break;
    case Mode::kReadWrite:
      flags |= SQLITE_OPEN_READWRITE;
      break;
    case Mode::kReadOnly:
      flags |= SQLITE_OPEN_READONLY;
      break;
  }
  const int code = sqlite3_open_v2(path.c_str(), &database_, flags, nullptr);
  if (code != SQLITE_OK) {
    const std::string text = ErrorText(database_, code, path_);
    sqlite3_close(database_);
    database_ = nullptr;
    throw SqliteError(text, code);
  }
  sqlite3_extended_result_codes(database_, 1);
  sqlite3_busy_timeout(database_, busy_timeout_ms);
}

SqliteDatabase::~SqliteDatabase() {
  statements_->Close();
  sqlite3_close_v2(database_);
}

void SqliteDatabase::Raise(int code) const {
  throw SqliteError(ErrorText(database_, code, path_), code);
}

void SqliteDatabase::Exec(const std::string& sql) {
  char* reason = nullptr;
  const int code = sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &reason);
  if (code != SQLITE_OK) {
    const std::string text =
        "Database \"" + path_ + "\": " + (reason != nullptr ? reason : sqlite3_errstr(code));
    sqlite3_free(reason);
    throw SqliteError(text, code);
  }
}

SqliteStatement SqliteDatabase::Prepare(const std::string& sql) {
  if (sqlite3_stmt* const cached = statements_->Take(sql))
    return SqliteStatement(database_, cached, path_, statements_, sql);
  sqlite3_stmt* statement = nullptr;
  const int code =
      sqlite3_prepare_v2(database_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr);
  if (code != SQLITE_OK) Raise(code);
  // Blanks or comments alone give no statement.
  if (statement == nullptr) return SqliteStatement(database_, statement, path_);
  return SqliteStatement(database_, statement, path_, statements_, sql);
}

int64_t SqliteDatabase::LastInsertRowId() const {
  return sqlite3_last_insert_rowid(database_);
}

int SqliteDatabase::Changes() const {
  return sqlite3_changes(database_);
}

bool SqliteDatabase::InTransaction() const {
  return sqlite3_get_autocommit(database_) == 0;
}

bool SqliteDatabase::IsReadOnly() const {
  return sqlite3_db_readonly(database_, "main") == 1;
}

SqliteDatabase::Transaction::Transaction(SqliteDatabase& database)
    : database_(database), nested_(sqlite3_get_autocommit(database.database_) == 0) {
  database_.Exec(nested_ ? "SAVEPOINT qv_nested" : "BEGIN IMMEDIATE");
}

SqliteDatabase::Transaction::~Transaction() {
  if (!open_) return;
  sqlite3_exec(database_.database_, nested_ ? "ROLLBACK TO qv_nested; RELEASE qv_nested" : "ROLLBACK",
               nullptr, nullptr, nullptr);
}

void SqliteDatabase::Transaction::Commit() {
  database_.Exec(nested_ ? "RELEASE qv_nested" : "COMMIT");
  open_ = false;
}

}  // namespace qv::platform
