// A small RAII layer over SQLite, shared by the stand-ins that keep their data in a database file
// (registry hive, event log, accounts) and by the calendar store.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/errors/exception.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qv::platform {

// A failed database call. The message names the database file and gives SQLite's reason.
class SqliteError : public Exception {
 public:
  SqliteError(std::string message, int result_code)
      : Exception(std::move(message)), ResultCode(result_code) {}
  const char* ClassName() const noexcept override { return "SqliteError"; }
  bool IsBusy() const;      // the database stayed locked by another connection
  bool IsReadOnly() const;  // the file or its directory may not be written
  bool IsFull() const;      // the disk or the database size limit is full
  int ResultCode;           // SQLite's extended result code
};

// The statements a connection has prepared and that are not in use, by their SQL, so that preparing
// the same SQL again costs nothing: parsing and planning are most of what a short query costs.
// Shared by the connection and its statements, which give theirs back here when they end.
class SqliteStatementCache {
 public:
  // At most this many statements wait; more are finalized.
  static constexpr size_t kCapacity = 64;
  ~SqliteStatementCache();
  sqlite3_stmt* Take(const std::string& sql);
  // Takes a statement back (reset, bindings cleared); one beyond the capacity, or after Close, is
  // finalized.
  void Give(std::string sql, sqlite3_stmt* statement);
  // Finalizes every waiting statement; those given back later are finalized at once.
  void Close();

 private:
  std::mutex mutex_;
  std::unordered_multimap<std::string, sqlite3_stmt*> idle_;
  bool closed_ = false;
};

class SqliteStatement {
 public:
  // A statement of its own, finalized at its end; or one that goes back to the cache, with its SQL.
  SqliteStatement(sqlite3* database, sqlite3_stmt* statement, std::string path);
  SqliteStatement(sqlite3* database, sqlite3_stmt* statement, std::string path,
                  std::shared_ptr<SqliteStatementCache> cache, std::string sql);
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&&) = delete;
  SqliteStatement(const SqliteStatement&) = delete;
  ~SqliteStatement();

  // Parameters count from 1, as in SQL.
  SqliteStatement& Bind(int index, int64_t value);
  SqliteStatement& Bind(int index, double value);
  SqliteStatement& Bind(int index, std::string_view text);
  SqliteStatement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
  SqliteStatement& BindBlob(int index, std::string_view bytes);
  SqliteStatement& BindNull(int index);

  // Runs to the next row: true when a row is there, false when done.
  bool Step();
  // Runs a statement that yields no rows.
  void Run();
  void Reset();

  // Columns count from 0.
  bool IsNull(int column) const;
  int64_t ColumnInt64(int column) const;
  double ColumnDouble(int column) const;
  std::string ColumnText(int column) const;
  std::string ColumnBlob(int column) const;

 private:
  [[noreturn]] void Raise(int code) const;
  sqlite3* database_;
  sqlite3_stmt* statement_;
  std::string path_;
  std::shared_ptr<SqliteStatementCache> cache_;
  std::string sql_;
};

class SqliteDatabase {
 public:
  enum class Mode { kReadWriteCreate, kReadWrite, kReadOnly };
  static constexpr int kDefaultBusyTimeoutMs = 60000;

  // Opens the file; a busy database is waited for up to the time-out before a call fails.
  SqliteDatabase(const std::string& path, Mode mode, int busy_timeout_ms = kDefaultBusyTimeoutMs);
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;
  ~SqliteDatabase();

  void Exec(const std::string& sql);
  // A prepared statement of the SQL: one this connection prepared before and that is not in use, or
  // a new one.
  SqliteStatement Prepare(const std::string& sql);
  int64_t LastInsertRowId() const;
  int Changes() const;
  // True when the connection may not write (a write-protected file, or opened for reading).
  bool IsReadOnly() const;
  // True inside a transaction of this connection.
  bool InTransaction() const;
  const std::string& Path() const { return path_; }

  // A write transaction that takes the write lock at once; rolled back unless committed. Inside
  // another transaction of the connection it is a savepoint of that one: its commit keeps its changes
  // for the outer transaction's commit, its rollback undoes only them.
  class Transaction {
   public:
    explicit Transaction(SqliteDatabase& database);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void Commit();

   private:
    SqliteDatabase& database_;
    const bool nested_;
    bool open_ = true;
  };

 private:
  [[noreturn]] void Raise(int code) const;
  sqlite3* database_ = nullptr;
  std::string path_;
  std::shared_ptr<SqliteStatementCache> statements_ = std::make_shared<SqliteStatementCache>();
};

}  // namespace qv::platform
