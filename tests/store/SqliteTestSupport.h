#pragma once

// A raw SQLite connection for tests that check the predicate layer against SQLite itself,
// binding values exactly the way the store engine does.

#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "chronelle/store/Value.h"

namespace chronelle::testing {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// An in-memory database; throws std::runtime_error with SQLite's message on any failure.
class MemoryDatabase {
 public:
  MemoryDatabase() {
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) throw std::runtime_error("cannot open SQLite");
    db_.reset(db);
  }

  void exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(message + " in " + sql);
    }
  }

  Statement prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string(sqlite3_errmsg(db_.get())) + " in " + sql);
    }
    return Statement(statement);
  }

  // Runs `sql` with `parameters` bound and returns the first column of every row as an
  // integer.
  std::vector<std::int64_t> queryIntegers(const std::string& sql,
                                          const std::vector<Value>& parameters) {
    Statement statement = prepare(sql);
    for (std::size_t i = 0; i < parameters.size(); ++i)
      bind(statement.get(), static_cast<int>(i + 1), parameters[i]);
    std::vector<std::int64_t> result;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW)
      result.push_back(sqlite3_column_int64(statement.get(), 0));
    if (rc != SQLITE_DONE)
      throw std::runtime_error(std::string(sqlite3_errmsg(db_.get())) + " in " + sql);
    return result;
  }

  // Binds as the engine does: dates as INTEGER microseconds, booleans as 0/1, object IDs
  // as their primary key (a temporary ID as -1), strings as TEXT, blobs as BLOB.
  static void bind(sqlite3_stmt* statement, int index, const Value& value) {
    const auto& v = value.storage();
    if (const auto* b = std::get_if<bool>(&v)) {
      sqlite3_bind_int64(statement, index, *b ? 1 : 0);
    } else if (const auto* i = std::get_if<std::int64_t>(&v)) {
      sqlite3_bind_int64(statement, index, *i);
    } else if (const auto* d = std::get_if<double>(&v)) {
      sqlite3_bind_double(statement, index, *d);
    } else if (const auto* s = std::get_if<std::string>(&v)) {
      sqlite3_bind_text(statement, index, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    } else if (const auto* date = std::get_if<Date>(&v)) {
      sqlite3_bind_int64(statement, index, date->microsecondsSince1970());
    } else if (const auto* blob = std::get_if<Blob>(&v)) {
      // An empty vector's data() may be null, which sqlite3_bind_blob would bind as NULL.
      if (blob->empty()) {
        sqlite3_bind_zeroblob(statement, index, 0);
      } else {
        sqlite3_bind_blob(statement, index, blob->data(), static_cast<int>(blob->size()),
                          SQLITE_TRANSIENT);
      }
    } else if (const auto* id = std::get_if<ObjectID>(&v)) {
      sqlite3_bind_int64(statement, index, id->isTemporaryID() ? -1 : id->primaryKey());
    } else if (std::holds_alternative<std::monostate>(v)) {
      sqlite3_bind_null(statement, index);
    } else {
      throw std::invalid_argument("a list cannot be bound: " + value.description());
    }
  }

 private:
  std::unique_ptr<sqlite3, SqliteCloser> db_;
};

}  // namespace chronelle::testing
