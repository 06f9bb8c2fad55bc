#include "StoreSnapshot.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <functional>

namespace chronelle::testing {
StoreSnapshot StoreSnapshot::read(const std::filesystem::path& file) {
  StoreSnapshot snapshot;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return snapshot;
  }
  sqlite3_busy_timeout(db, 5000);
  auto rows = [&](const char* sql, const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
      return;
    }
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) row(statement);
    if (rc != SQLITE_DONE) ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    sqlite3_finalize(statement);
  };
  auto text = [](sqlite3_stmt* s, int column) {
    const auto* value = sqlite3_column_text(s, column);
    return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
  };

  rows("PRAGMA integrity_check", [&](sqlite3_stmt* s) {
    snapshot.integrity += (snapshot.integrity.empty() ? "" : "; ") + text(s, 0);
  });

  struct NodeRow {
    std::string name;
    long long parent;
    bool folder;
    double stored;
  };
  std::map<long long, NodeRow> nodes;
  rows("SELECT n.Z_PK, n.ZPARENT, n.ZNAME, e.Z_NAME = 'Folder', n.ZCONFIRMEDDURATION FROM ZNODE n "
       "JOIN Z_ENTITIES e ON e.Z_ENT = n.Z_ENT",
       [&](sqlite3_stmt* s) {
         nodes[sqlite3_column_int64(s, 0)] = {text(s, 2), sqlite3_column_int64(s, 1), sqlite3_column_int(s, 3) != 0,
                                              sqlite3_column_double(s, 4)};
       });

  std::map<long long, double> own;  // task pk → sum of its entries' whole seconds
  rows("SELECT s.ZIDENTIFIER, s.ZTASK, n.ZIDENTIFIER, s.ZBEGIN, s.ZEND, s.ZCONFIRMEDDURATION FROM ZSESSION s "
       "LEFT JOIN ZNODE n ON n.Z_PK = s.ZTASK",
       [&](sqlite3_stmt* s) {
         const auto wholeSeconds = [&](int column) {
           return static_cast<long long>(std::floor(static_cast<double>(sqlite3_column_int64(s, column)) / 1e6));
         };
         EntryRow row{text(s, 2), wholeSeconds(3), std::nullopt};
         if (sqlite3_column_type(s, 4) != SQLITE_NULL) row.end = wholeSeconds(4);
         const double seconds = row.end ? static_cast<double>(*row.end - row.begin) : 0.0;
         const std::string id = text(s, 0);
         if (sqlite3_column_double(s, 5) != seconds) {
           snapshot.staleTotals.push_back("entry " + id + ": stored " + std::to_string(sqlite3_column_double(s, 5)) +
                                          ", begin to end " + std::to_string(seconds));
         }
         own[sqlite3_column_int64(s, 1)] += seconds;
         snapshot.entries[id] = std::move(row);
       });
  sqlite3_close(db);

  // A task's total is its own entries'; a folder's the sum of its children's recomputed ones.
  std::function<double(long long)> expected = [&](long long pk) {
    if (!nodes.at(pk).folder) return own[pk];
    double sum = 0;
    for (const auto& [child, row] : nodes) {
      if (row.parent == pk) sum += expected(child);
    }
    return sum;
  };
  for (const auto& [pk, row] : nodes) {
    const double value = expected(pk);
    if (row.stored != value) {
      snapshot.staleTotals.push_back(row.name + ": stored " + std::to_string(row.stored) + ", entries " +
                                     std::to_string(value));
    }
  }
  return snapshot;
}

std::string describe(const std::map<std::string, EntryRow>& entries) {
  std::string text;
  for (const auto& [id, row] : entries) {
    text += id + " " + row.task + " " + std::to_string(row.begin) + " " +
            (row.end ? std::to_string(*row.end) : std::string("running")) + "\n";
  }
  return text;
}

}  // namespace chronelle::testing
