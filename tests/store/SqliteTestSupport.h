#pragma once

// SQLite as the store engine uses it, and one table of rows by key path for comparing what a
// predicate's SQL selects with what its evaluation in memory selects. Columns have the types
// the engine declares; "task.*" are values read through a to-one; `mixed` holds any class.

#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "chronelle/store/Predicate.h"
#include "chronelle/store/Sqlite.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {

// An in-memory database.
class MemoryDatabase {
 public:
  void exec(const std::string& sql) { connection_.exec(sql); }

  // Runs `sql` with `parameters` bound and returns the first column of every row as an
  // integer. Throws StoreError with SQLite's message on any failure.
  std::vector<std::int64_t> queryIntegers(const std::string& sql, const std::vector<Value>& parameters) {
    Statement statement(connection_, sql);
    for (std::size_t i = 0; i < parameters.size(); ++i) statement.bind(static_cast<int>(i + 1), parameters[i]);
    std::vector<std::int64_t> result;
    while (statement.step()) result.push_back(statement.columnInt64(0));
    return result;
  }

 private:
  Connection connection_{":memory:", true, 0};
};

enum class Kind { integer, real, boolean, text, date, object, blob, any };

struct PredicateColumn {
  std::string keyPath;
  std::string sqlType;
  Kind kind;
};

inline const std::vector<PredicateColumn> kPredicateColumns = {
    {"count", "INTEGER", Kind::integer},       {"amount", "REAL", Kind::real},
    {"flag", "INTEGER", Kind::boolean},        {"name", "TEXT", Kind::text},
    {"begin", "INTEGER", Kind::date},          {"end", "INTEGER", Kind::date},
    {"task", "INTEGER", Kind::object},         {"mixed", "", Kind::any},
    {"task.archived", "INTEGER", Kind::boolean}, {"task.name", "TEXT", Kind::text},
    {"task.rate", "REAL", Kind::real},
};

// Values by key path; a column missing from the row is nil.
using PredicateRow = std::map<std::string, Value>;

inline std::string knownKeyPath(std::span<const std::string> path) {
  std::string key;
  for (const auto& component : path) key += (key.empty() ? "" : ".") + component;
  for (const auto& column : kPredicateColumns) {
    if (column.keyPath == key) return key;
  }
  throw StoreError(StoreError::kInvalidPredicate, "unknown key path " + key);
}

class RowSubject : public PredicateSubject {
 public:
  explicit RowSubject(const PredicateRow& row) : row_(row) {}
  Value valueForKeyPath(std::span<const std::string> path) const override {
    const auto it = row_.find(knownKeyPath(path));
    return it == row_.end() ? Value() : it->second;
  }

 private:
  const PredicateRow& row_;
};

// Table r, one column per key path (quoted, named as the key path), rows keyed by their index.
class PredicateTable : public PredicateSqlMapper {
 public:
  PredicateTable() {
    std::string sql = "CREATE TABLE r(pk INTEGER PRIMARY KEY";
    for (const auto& column : kPredicateColumns) sql += ", \"" + column.keyPath + "\" " + column.sqlType;
    db.exec(sql + ")");
  }

  // Replaces the rows.
  void fill(std::vector<PredicateRow> rows) {
    db.exec("DELETE FROM r");
    std::string insert = "INSERT INTO r VALUES (?";
    for (std::size_t i = 0; i < kPredicateColumns.size(); ++i) insert += ", ?";
    for (std::size_t pk = 0; pk < rows.size(); ++pk) {
      std::vector<Value> values{static_cast<std::int64_t>(pk)};
      for (const auto& column : kPredicateColumns) {
        const auto it = rows[pk].find(column.keyPath);
        values.push_back(it == rows[pk].end() ? Value() : it->second);
      }
      db.queryIntegers(insert + ")", values);
    }
    rows_ = std::move(rows);
  }

  // The rows selected by `where` with `parameters` bound.
  std::set<std::int64_t> select(const std::string& where, const std::vector<Value>& parameters) {
    const auto pks = db.queryIntegers("SELECT pk FROM r WHERE " + where, parameters);
    return {pks.begin(), pks.end()};
  }

  // The rows the compiled predicate selects; its SQL text goes to `sql`.
  std::set<std::int64_t> selectedBySql(const Predicate& predicate, std::string& sql) {
    const SqlFragment fragment = predicate.toSql(*this);
    sql = fragment.sql;
    return select(fragment.sql, fragment.parameters);
  }

  std::set<std::int64_t> selectedInMemory(const Predicate& predicate) const {
    std::set<std::int64_t> pks;
    for (std::size_t pk = 0; pk < rows_.size(); ++pk) {
      if (predicate.evaluate(RowSubject(rows_[pk]))) pks.insert(static_cast<std::int64_t>(pk));
    }
    return pks;
  }

  std::string columnForKeyPath(std::span<const std::string> path) override {
    return "r.\"" + knownKeyPath(path) + "\"";
  }

  const std::vector<PredicateRow>& rows() const { return rows_; }
  MemoryDatabase db;

 private:
  std::vector<PredicateRow> rows_;
};

}  // namespace chronelle::testing
