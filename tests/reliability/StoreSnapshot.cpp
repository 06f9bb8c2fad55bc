#include "StoreSnapshot.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

namespace chronelle::testing {
StoreSnapshot StoreSnapshot::read(const std::filesystem::path& file) {
  StoreSnapshot snapshot;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db);
  }
  sqlite3_busy_timeout(db, 5000);
  // Calls `row` with the text of each column of each result row.
  const auto rows = [&](const char* sql, const std::function<void(const std::vector<std::string>&)>& row) {
    sqlite3_stmt* statement = nullptr;
    const bool prepared = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK;
    int rc = SQLITE_ERROR;
    while (prepared && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
      std::vector<std::string> columns;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const auto* value = sqlite3_column_text(statement, i);
        columns.emplace_back(value ? reinterpret_cast<const char*>(value) : "");
      }
      row(columns);
    }
    if (rc != SQLITE_DONE) ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    sqlite3_finalize(statement);
  };

  rows("PRAGMA integrity_check", [&](const auto& c) { snapshot.integrity += (snapshot.integrity.empty() ? "" : "; ") + c[0]; });
  struct Node {
    std::string name, parent;
    bool folder;
    double stored;
  };
  std::map<std::string, Node> nodes;  // by primary key
  rows("SELECT n.Z_PK, n.ZPARENT, n.ZNAME, e.Z_NAME = 'Folder', IFNULL(n.ZCONFIRMEDDURATION, 0) FROM ZNODE n "
       "JOIN Z_ENTITIES e ON e.Z_ENT = n.Z_ENT",
       [&](const auto& c) { nodes[c[0]] = {c[2], c[1], c[3] == "1", std::stod(c[4])}; });
  std::map<std::string, double> own;  // task key → sum of its entries' whole seconds
  // Instants are microseconds since 1970, all after it here: division floors them to seconds.
  rows("SELECT s.ZIDENTIFIER, s.ZTASK, n.ZIDENTIFIER, CAST(s.ZBEGIN AS INTEGER) / 1000000, "
       "CAST(s.ZEND AS INTEGER) / 1000000, IFNULL(s.ZCONFIRMEDDURATION, 0) FROM ZSESSION s "
       "LEFT JOIN ZNODE n ON n.Z_PK = s.ZTASK",
       [&](const auto& c) {
         EntryRow row{c[2], std::stoll(c[3]), c[4].empty() ? std::nullopt : std::optional(std::stoll(c[4]))};
         const double seconds = row.end ? static_cast<double>(*row.end - row.begin) : 0.0;
         if (std::stod(c[5]) != seconds) snapshot.staleTotals.push_back("entry " + c[0] + ": stored " + c[5]);
         own[c[1]] += seconds;
         snapshot.entries[c[0]] = std::move(row);
       });
  sqlite3_close(db);

  const std::function<double(const std::string&)> expected = [&](const std::string& key) {
    if (!nodes.at(key).folder) return own[key];
    double sum = 0;
    for (const auto& [child, node] : nodes) sum += node.parent == key ? expected(child) : 0;
    return sum;
  };
  for (const auto& [key, node] : nodes) {
    if (node.stored != expected(key)) {
      snapshot.staleTotals.push_back(node.name + ": stored " + std::to_string(node.stored) + ", entries " +
                                     std::to_string(expected(key)));
    }
  }
  return snapshot;
}

std::string describe(const std::map<std::string, EntryRow>& entries) {
  std::string text;
  for (const auto& [id, row] : entries) {
    text += id + " " + row.task + " " + std::to_string(row.begin) + " " + (row.end ? std::to_string(*row.end) : "running") + "\n";
  }
  return text;
}

}  // namespace chronelle::testing
