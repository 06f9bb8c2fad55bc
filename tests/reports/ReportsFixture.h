#pragma once

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ReportDataSet.h"
#include "chronelle/data/BaseDataProvider.h"
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
