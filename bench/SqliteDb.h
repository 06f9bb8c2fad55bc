#pragma once
// A thin RAII layer over the SQLite C API for the hand-written baselines. Nothing of the
// library is used here: the baselines are what an application would write by hand.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace chronelle::bench {

// One prepared statement; reset and cleared by `reset()`, finalised on destruction.
class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) != SQLITE_OK) {
      throw std::runtime_error("prepare failed: " + std::string(sqlite3_errmsg(db)) + " in " + sql);
    }
  }
  ~SqliteStatement() { sqlite3_finalize(statement_); }
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  SqliteStatement& bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  SqliteStatement& bind(int index, double value) {
    sqlite3_bind_double(statement_, index, value);
    return *this;
  }
  // True while a row is available; throws on an error.
  bool step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw std::runtime_error("step failed: " + std::string(sqlite3_errmsg(sqlite3_db_handle(statement_))));
  }
  void reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
  double real(int column) const { return sqlite3_column_double(statement_, column); }
  bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
  std::string text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes)) : std::string();
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// One connection in WAL mode with synchronous=FULL, the durability the library promises.
// Opened without SQLite's per-connection mutex, as the library opens its own: every baseline
// runs its connection on one thread, and the lock would only add to the limit it stands for.
class SqliteDb {
 public:
  explicit SqliteDb(const std::filesystem::path& file) {
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw std::runtime_error("cannot open " + file.string() + ": " + message);
    }
    exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
  }
  ~SqliteDb() { sqlite3_close(db_); }
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* handle() const { return db_; }
  void exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "unknown error";
      sqlite3_free(error);
      throw std::runtime_error("exec failed: " + message + " in " + sql);
    }
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace chronelle::bench
