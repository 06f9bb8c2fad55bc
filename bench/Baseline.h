#pragma once
// The hand-written SQLite side of every case: what an application would write against the
// same store file with only the SQLite C API, computing the same numbers as the library.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SqliteDb.h"

namespace chronelle::bench {

// Totals of a set of entries: whole seconds, money, number of entries.
struct Totals {
  double duration = 0;
  double revenue = 0;
  std::int64_t count = 0;
  Totals& operator+=(const Totals& other) {
    duration += other.duration;
    revenue += other.revenue;
    count += other.count;
    return *this;
  }
};

// Which entries a totals query counts; the billing cases match SessionQuery3's options.
enum class BillingFilter { any, nonBillable, unbilled, billed, paid };

// Totals by the primary key of a task (and, in the node breakdown, of a folder).
using TotalsByNode = std::map<std::int64_t, Totals>;
// One chart column's totals by task primary key, in the order of the keys.
using ColumnTotals = std::vector<std::pair<std::int64_t, Totals>>;

// One connection to a store file with its statements prepared once, as the library caches
// its own per connection. Times are microseconds since 1970, periods half-open [from, to).
// Not thread-safe. Throws std::runtime_error on any SQLite error.
class Baseline {
 public:
  explicit Baseline(const std::filesystem::path& storeFile);
  ~Baseline();

  // One aggregate over the entries wholly inside the period plus the rows crossing a
  // bound, clipped here.
  Totals totals(std::int64_t from, std::int64_t to, BillingFilter filter = BillingFilter::any);
  // Totals of each billing state (not billable, unbilled, billed, paid) in one grouped
  // aggregate over the entries inside the period plus the rows crossing a bound.
  std::map<BillingFilter, Totals> billingBreakdown(std::int64_t from, std::int64_t to);
  // Totals of every task with time in the period and of every folder above one.
  TotalsByNode nodeBreakdown(std::int64_t from, std::int64_t to);
  // Chart columns between consecutive `bounds`, per task: one grouped query and one edge
  // query per column.
  std::vector<TotalsByNode> chartPerColumn(const std::vector<std::int64_t>& bounds);
  // The same numbers from one query over the whole range, split into columns here.
  std::vector<ColumnTotals> chartSingleQuery(const std::vector<std::int64_t>& bounds);
  // Sets the end of entry `entryPk` with its confirmed duration and revenue and recounts
  // its task and the task's folders, in one transaction. Returns the task's new confirmed
  // duration.
  double editEntryEnd(std::int64_t entryPk, std::int64_t end);

  // One fragment of the day list: the entry and the part of it on one day.
  struct DayFragment {
    std::int64_t entryPk = 0;
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::string taskName;
    std::string identifier;
    bool billable = false;
    double hourlyRate = 0;
  };
  // One day of the list: its date ("yyyy-MM-dd", UTC) and its fragments, latest first.
  struct DaySection {
    std::string day;
    std::vector<DayFragment> fragments;
  };
  // The entries overlapping [from, to) in one SELECT in index order (and the running entry,
  // ended at `now`, by its missing end), their tasks' names from one SELECT of the nodes,
  // cut at UTC midnights into one section per day, newest day first.
  std::vector<DaySection> dayList(std::int64_t from, std::int64_t to, std::int64_t now);

  // One row of the flat tree listing.
  struct TreeRow {
    std::int64_t pk = 0;
    int level = 0;
    bool hasChildren = false;
  };
  // Opens the file on a new connection and lists the whole tree depth first, each folder
  // before its contents, children by their order.
  static std::vector<TreeRow> openAndListTree(const std::filesystem::path& storeFile);
  // The connection, to observe the statements it runs.
  sqlite3* connection() const { return db_.handle(); }
  // The same listing on this connection, already open.
  std::vector<TreeRow> listTree() { return listTree(db_); }

 private:
  struct Statements;
  // Adds the clipped part of one edge row to `totals`.
  static void addClipped(Totals& totals, std::int64_t begin, std::int64_t end, bool billable, double rate,
                         std::int64_t from, std::int64_t to);
  static std::vector<TreeRow> listTree(SqliteDb& db);
  void columnByTask(std::int64_t from, std::int64_t to, TotalsByNode& out);

  SqliteDb db_;
  std::unique_ptr<Statements> statements_;
};

}  // namespace chronelle::bench
