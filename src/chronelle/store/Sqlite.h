#pragma once
// Store-internal RAII wrappers over the SQLite C API. Every failure becomes a StoreError
// (kSQLite unless the caller says otherwise) carrying SQLite's message and the SQL text.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "chronelle/store/Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace chronelle {

class Connection;

/// One prepared statement. Finalised on destruction.
class Statement {
 public:
  Statement(Connection& connection, std::string sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  /// Parameters are 1-based, as in SQLite.
  ///@{
  void bindNull(int index);
  void bindInt64(int index, std::int64_t value);
  void bindDouble(int index, double value);
  void bindText(int index, std::string_view text);
  void bindBlob(int index, const Blob& blob);
  ///@}
  /// Date as INTEGER microseconds, bool as 0/1, ObjectID as its primary key (-1 for a
  /// temporary one, which matches no row). A list cannot be bound: throws.
  void bind(int index, const Value& value);
  /// Binds `values` to parameters 1, 2, … in order.
  void bindAll(const std::vector<Value>& values);

  /// Advances; true while a row is available.
  bool step();
  /// Steps a statement that returns no rows.
  ///@{
  void run();
  void reset();
  ///@}

  bool isNull(int column) const;
  std::int64_t columnInt64(int column) const;
  double columnDouble(int column) const;
  std::string columnText(int column) const;
  Blob columnBlob(int column) const;
  /// The raw value as SQLite holds it: NULL, INTEGER, REAL, TEXT or BLOB.
  Value columnValue(int column) const;
  int columnCount() const;
  const std::string& sql() const { return sql_; }

 private:
  [[noreturn]] void fail(int code) const;
  Connection& connection_;
  std::string sql_;
  sqlite3_stmt* stmt_ = nullptr;
};

/// A statement borrowed from a connection's cache. On release it is reset, its bindings
/// cleared and it goes back to the cache. Nested use of the same SQL gets a second
/// statement, so a borrowed statement is never reset under a caller that is stepping it.
class CachedStatement {
 public:
  CachedStatement(Connection& connection, std::unique_ptr<Statement> statement)
      : connection_(&connection), statement_(std::move(statement)) {}
  CachedStatement(CachedStatement&&) noexcept = default;
  CachedStatement& operator=(CachedStatement&&) = delete;
  ~CachedStatement();
  Statement* operator->() const { return statement_.get(); }
  Statement& operator*() const { return *statement_; }

 private:
  Connection* connection_;
  std::unique_ptr<Statement> statement_;
};

/// One SQLite connection with its cache of prepared statements. Use from one thread at a
/// time.
class Connection {
 public:
  /// Opens (creating when `create`) the database file.
  ///@{
  Connection(const std::filesystem::path& file, bool create, int busyTimeoutMilliseconds);
  ~Connection();
  Connection(const Connection&) = delete;
  ///@}
  Connection& operator=(const Connection&) = delete;

  /// Sets the process-wide SQLite options the store wants, once, before SQLite starts; a
  /// process in which SQLite was started by other code keeps that code's options. Thread-safe;
  /// the constructor calls it, and so must any other code of the store that opens SQLite.
  static void configureLibrary();

  void exec(const std::string& sql);
  CachedStatement cached(const std::string& sql);
  int changes() const;
  bool inTransaction() const;
  /// How long a statement waits for another connection's lock before it fails, in ms.
  void setBusyTimeout(int milliseconds);
  /// On close, leaves the write-ahead log as it is (its commits were synced when they were
  /// made) instead of copying it into the database file and deleting it.
  void leaveLogOnClose();
  /// After every commit that leaves at least `pages` pages in the write-ahead log, copies the
  /// log into the database file without waiting for other connections (as SQLite's automatic
  /// checkpoint would), and sets `*logCopied` to whether all of the log is then in the file;
  /// a commit below `pages` clears it. `logCopied` must outlive the connection.
  void checkpointLogOver(int pages, std::atomic<bool>* logCopied);
  /// Copies every commit of the write-ahead log into the database file, syncs the file and
  /// empties the log, waiting for other connections up to the busy timeout. False when a
  /// reader or writer of another connection kept it from finishing (what it could copy is
  /// copied and synced). Throws StoreError on an I/O failure.
  bool checkpointAndEmptyLog();
  sqlite3* handle() const { return db_.get(); }
  std::string errorMessage() const;
  /// Statements prepared so far (cache misses); lets tests see that the cache is used.
  std::size_t preparedCount() const { return prepared_; }

 private:
  friend class CachedStatement;
  friend class Statement;
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  static constexpr std::size_t kMaxCachedTexts = 256;
  std::unique_ptr<sqlite3, Closer> db_;
  std::unordered_map<std::string, std::vector<std::unique_ptr<Statement>>> cache_;
  std::size_t prepared_ = 0;
  struct LogCheckpoint {
    int pages;
    std::atomic<bool>* copied;
  };
  std::unique_ptr<LogCheckpoint> logCheckpoint_;
};

/// A write (or read) transaction that rolls back in its destructor unless committed.
class Transaction {
 public:
  enum class Kind { deferred, immediate };
  explicit Transaction(Connection& connection, Kind kind = Kind::immediate);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void commit();

 private:
  Connection& connection_;
  bool open_ = true;
};

/// One state of the database for a read made of several statements (a check and the rows it
/// chose a statement for, keys and the rest of their rows): hold() begins a read transaction,
/// unless the connection is in a transaction already, whose state then serves; release()
/// ends the one it began. One still held when this is destroyed is rolled back (a read has
/// nothing to undo). BEGIN and COMMIT come from the connection's statement cache.
class ReadSnapshot {
 public:
  explicit ReadSnapshot(Connection& connection) : connection_(connection) {}
  ~ReadSnapshot();
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;
  Connection& connection() const { return connection_; }
  void hold();
  void release();

 private:
  Connection& connection_;
  bool began_ = false;
};

}  // namespace chronelle
