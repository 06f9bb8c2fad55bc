#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/SessionQuery3.h"
#include "chronelle/reports/TotalValues.h"

namespace chronelle::testing {

// A few hundred time entries over a small tree, kept twice: as plain values here, from which
// the tests compute every expected number by hand, and in the store through the fixture.
//
// Tree: work/{design, dev/{backend, frontend}}, ops/{support, legacy (archived)}, solo,
// old/ (archived) {retired}. Entries cross midnights, month ends, the year end and the
// change to summer time on 2026-03-29 in Berlin; some end or begin exactly at midnight; some
// last under a minute or two; billable and not at several rates in all three billing states;
// two have no task; one entry on `design` is running (begun 11:30 on 2026-03-29, now 15:00).
struct ReportDataSet {
  struct TaskInfo {
    std::string name;
    std::vector<std::string> folders;  // from the top down
    bool archived = false;
  };
  struct Entry {
    int task = -1;                      // index into `tasks`, -1 for none
    std::int64_t begin = 0;             // whole seconds since 1970
    std::optional<std::int64_t> end;    // none: running
    bool billable = false;
    double rate = 0;
    int status = 0;
    double storedRevenue = 0;  // what the write side stored once the entry ended
  };
  // Which entries a query selects besides its period, as the test states it.
  struct Filter {
    std::optional<std::set<int>> tasks;
    std::optional<SessionQuery3::ArchiveFilterOption> archived;
    std::optional<std::set<SessionQuery3::BillingStatusOption>> billing;
  };

  std::vector<TaskInfo> tasks;
  std::vector<Entry> entries;
  int runningIndex = -1;
  std::int64_t now = 0;

  // Builds the values (deterministically) with `now` as the current instant.
  static ReportDataSet make(std::int64_t now);
  bool matches(const Entry& entry, const Filter& filter) const;
  // Money of `seconds` of the entry in whole cents, a half cent rounded up; 0 when not billable.
  static std::int64_t moneyCents(const Entry& entry, std::int64_t seconds);
  static double money(const Entry& entry, std::int64_t seconds) { return double(moneyCents(entry, seconds)) / 100; }
  // Totals per task index of the finished entries the filter selects, clipped to [from, to]:
  // an entry wholly inside counts its stored revenue, a clipped one the money of its part.
  std::map<int, TotalValues> totalsByTask(std::int64_t from, std::int64_t to, const Filter& filter) const;
  // Their sum, money summed in whole cents (the double nearest to the exact decimal total).
  TotalValues totals(std::int64_t from, std::int64_t to, const Filter& filter) const;
  // Whether the running entry shares time with the period and passes the filter.
  bool runningCounts(std::int64_t from, std::int64_t to, const Filter& filter) const;
  // Task indexes with time in the period (the running entry's included).
  std::set<int> trackedTasks(std::int64_t from, std::int64_t to, const Filter& filter) const;
};

// Whole seconds of a period bound: its last microsecond counts as the next period's first second.
std::int64_t seconds(Date date);

}  // namespace chronelle::testing
