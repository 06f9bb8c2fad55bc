#pragma once

// An in-memory database on the engine's own connection, for tests that check the predicate
// layer and the value order against SQLite itself: values are bound exactly as the store
// binds them.

#include <string>
#include <vector>

#include "chronelle/store/Sqlite.h"

namespace chronelle::testing {

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

}  // namespace chronelle::testing
