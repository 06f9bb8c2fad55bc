#pragma once
// Query plans of both sides of a case: the SQL each side runs is collected while it
// computes its result once, then `EXPLAIN QUERY PLAN` of every statement that reads time
// entries by their begin or end is printed, and a plan that searches an index range open at
// one end (or scans the entries) fails the case: its cost would follow the store, not the
// period.

#include <sqlite3.h>

#include <filesystem>
#include <iosfwd>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace chronelle::bench {

// The distinct SQL texts run while collecting, in the order first seen. Thread-safe.
class SqlCollector {
 public:
  void add(const std::string& sql);
  // The texts collected so far; the collector is emptied.
  std::vector<std::string> take();

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
  std::set<std::string> seen_;
};

// The statements of the library's connections opened from now on. Observed once, at
// start-up, before any store is opened.
SqlCollector& librarySql();
// Every statement `db` runs goes to `collector`.
void observeConnection(sqlite3* db, SqlCollector& collector);

// One statement's plan and whether every search of the entries is bounded on both sides.
struct PlanVerdict {
  std::string sql;
  std::string plan;    // EXPLAIN QUERY PLAN lines, indented by depth
  std::string problem; // empty when bounded
};

// The plans of the statements among `texts` that read entries by begin or end, on `storeFile`.
std::vector<PlanVerdict> explainPeriodQueries(const std::filesystem::path& storeFile,
                                              const std::vector<std::string>& texts);
// Whether one plan line searches or scans the entries without a two-sided range; the reason, or empty.
std::string unboundedSearch(const std::string& planLine);

// Prints the plans of the period queries both sides ran since the collectors were last
// emptied, under the case's name, and empties them. Returns the plans column of the case:
// "✓", "✗ <problems>", or empty when neither side ran a period query.
std::string checkPlans(std::ostream& out, const std::string& caseName, const std::filesystem::path& storeFile,
                       SqlCollector& baseline);

}  // namespace chronelle::bench
