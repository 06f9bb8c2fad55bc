#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace chronelle::testing {

// Runs `sql` on the SQLite file `file` (created when missing) through a connection of its
// own, as another program changing a store behind the library's back; any error fails the
// test. Header-only: only tests that link SQLite through the store include it.
inline void execSql(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  const int opened = sqlite3_open(file.c_str(), &db);
  char* error = nullptr;
  EXPECT_EQ(opened == SQLITE_OK ? sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) : opened, SQLITE_OK)
      << file << ": " << (error ? error : sqlite3_errmsg(db)) << "\n" << sql;
  sqlite3_free(error);
  sqlite3_close(db);
}

}  // namespace chronelle::testing
