#include "QueryPlans.h"

#include <map>
#include <ostream>
#include <regex>
#include <utility>

#include "SqliteDb.h"
#include "chronelle/store/StatementObserver.h"

namespace chronelle::bench {

void SqlCollector::add(const std::string& sql) {
  std::lock_guard lock(mutex_);
  if (seen_.insert(sql).second) texts_.push_back(sql);
}

std::vector<std::string> SqlCollector::take() {
  std::lock_guard lock(mutex_);
  seen_.clear();
  return std::exchange(texts_, {});
}

SqlCollector& librarySql() {
  static SqlCollector* collector = [] {
    auto* c = new SqlCollector;  // lives as long as the observer that writes into it
    setStatementObserver([c](const std::string& sql) { c->add(sql); });
    return c;
  }();
  return *collector;
}

void observeConnection(sqlite3* db, SqlCollector& collector) {
  sqlite3_trace_v2(
      db, SQLITE_TRACE_STMT,
      [](unsigned, void* context, void* statement, void*) {
        if (const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement))) {
          static_cast<SqlCollector*>(context)->add(sql);
        }
        return 0;
      },
      &collector);
}

std::string unboundedSearch(const std::string& line) {
  // "SCAN t0" / "SCAN ZSESSION USING INDEX …": every entry is read.
  static const std::regex scan(R"(^\s*SCAN (ZSESSION|t0|s)\b)");
  if (std::regex_search(line, scan)) return "scans every entry";
  static const std::regex search(R"(^\s*SEARCH (ZSESSION|t0|s) USING (COVERING )?INDEX \w+ \((.*)\))");
  std::smatch match;
  if (!std::regex_search(line, match, search)) return "";
  // The constraints, e.g. "ZBEGIN>? AND ZBEGIN<?" or "ZTASK=? AND ZBEGIN>?".
  const std::string constraints = match[3];
  // A column, or "<expr>" for an index on an expression (the length of an entry).
  static const std::regex term(R"((<expr>|\w+)(=|>|<|>=|<=)\?)");
  std::map<std::string, int> sides;  // column → bit 1 lower bound, bit 2 upper bound
  bool equality = false;
  for (auto it = std::sregex_iterator(constraints.begin(), constraints.end(), term); it != std::sregex_iterator();
       ++it) {
    const std::string op = (*it)[2];
    if (op == "=") {
      equality = true;
      continue;
    }
    sides[(*it)[1]] |= op[0] == '>' ? 1 : 2;
  }
  for (const auto& [column, bits] : sides) {
    if (bits != 3) return "searches " + column + " bounded on one side only";
  }
  // An equality alone (a task, a missing end) is a point, bounded by the index.
  if (sides.empty() && !equality) return "searches without a range";
  return "";
}

std::vector<PlanVerdict> explainPeriodQueries(const std::filesystem::path& storeFile,
                                              const std::vector<std::string>& texts) {
  SqliteDb db(storeFile);
  std::vector<PlanVerdict> verdicts;
  for (const auto& sql : texts) {
    if (sql.rfind("SELECT", 0) != 0 || sql.find("ZSESSION") == std::string::npos) continue;
    if (sql.find("ZBEGIN") == std::string::npos && sql.find("ZEND") == std::string::npos) continue;
    PlanVerdict verdict{sql, "", ""};
    // Rows: id, parent, unused, detail; depth from the parent chain.
    SqliteStatement plan(db.handle(), "EXPLAIN QUERY PLAN " + sql);
    std::map<std::int64_t, int> depth;
    while (plan.step()) {
      const int d = depth.count(plan.integer(1)) ? depth[plan.integer(1)] + 1 : 0;
      depth[plan.integer(0)] = d;
      const std::string detail = plan.text(3);
      verdict.plan += std::string(static_cast<std::size_t>(2 * d), ' ') + detail + "\n";
      if (verdict.problem.empty()) verdict.problem = unboundedSearch(detail);
    }
    verdicts.push_back(std::move(verdict));
  }
  return verdicts;
}

std::string checkPlans(std::ostream& out, const std::string& caseName, const std::filesystem::path& storeFile,
                       SqlCollector& baseline) {
  const auto library = explainPeriodQueries(storeFile, librarySql().take());
  const auto hand = explainPeriodQueries(storeFile, baseline.take());
  if (library.empty() && hand.empty()) return "";
  std::string problems;
  out << "\n#### Plans: " << caseName << "\n";
  for (const auto& [side, verdicts] : {std::pair{"library", &library}, std::pair{"baseline", &hand}}) {
    for (const auto& v : *verdicts) {
      out << "\n" << side << (v.problem.empty() ? " ✓" : " ✗ " + v.problem) << "\n```\n" << v.sql << "\n" << v.plan
          << "```\n";
      if (!v.problem.empty()) problems += std::string(problems.empty() ? "" : "; ") + side + " " + v.problem;
    }
  }
  return problems.empty() ? "✓" : "✗ " + problems;
}

}  // namespace chronelle::bench
