#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/SessionQuery3.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/reports/ReportScope3.h"
#include "chronelle/reports/TotalValues.h"
#include "teststack/StackFixture.h"

namespace chronelle {
// Totals print as "duration s, revenue, count" in failures; compared exactly (a sum of whole
// cents is a whole number of cents).
inline void PrintTo(const TotalValues& v, std::ostream* out) {
  *out << v.duration << " s, " << v.revenue << ", " << v.sessionCount;
}
}  // namespace chronelle

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

// The stack in Europe/Berlin with the clock at 2026-03-29 15:00 there (the day clocks go
// forward), the palette registered, and a read provider over the view context.
//
// `makeEntry` gives an ended entry the confirmed duration and revenue the write side stores
// (whole seconds from begin to end; the rate times that duration rounded to cents whenever
// the rate is not zero, billable or not), so the reports read what a saved write leaves.
class ReportsFixture : public StackFixture {
 protected:
  ReportsFixture();
  ~ReportsFixture() override;

  Calendar berlin(int firstWeekday = 2) const { return Calendar("Europe/Berlin", firstWeekday); }
  // An entry from `begin` to `end` (running without one) with the given billing data.
  std::shared_ptr<Session> makeEntry(const std::shared_ptr<Task>& task, Date begin, std::optional<Date> end,
                                     bool billable = false, double rate = 0, int status = 0);
  // The small tree most tests need, unsaved: work/{design, dev/{backend, frontend}},
  // admin (archived), errands/ (empty), top.
  void makeTree();

  std::shared_ptr<BaseDataProvider> provider;
  std::shared_ptr<Folder> work, dev, errands;
  std::shared_ptr<Task> design, backend, frontend, admin, top;
};

// The data set of ReportDataSet in the store, with the folders and tasks it names, and the
// report cases the tests run over it: daily, weekly, monthly, yearly and custom periods
// around the change to summer time, each with no filter, a task set, a billing filter and
// both archive filters.
class ReportNumbersFixture : public ReportsFixture {
 protected:
  struct Case {
    std::string name;
    ReportScope3 scope;
    ReportDataSet::Filter filter;
  };

  ReportNumbersFixture();

  std::vector<Case> cases() const;
  // Task index of a task's object ID, -1 when unknown.
  int taskIndex(const ObjectID& id) const;
  // The object IDs of the task's folders, the nearest last.
  std::vector<ObjectID> folderIDs(int task) const;

  ReportDataSet data;
  std::vector<std::shared_ptr<Task>> tasks;
  std::map<std::string, std::shared_ptr<Folder>> folders;  // by path "work/dev"
  std::shared_ptr<Session> running;
};

}  // namespace chronelle::testing
