// The tasks a node breakdown lists when entries do not run forward: an entry of no length at
// the period's start and entries stored with their end before their begin touch the period
// without adding time to it, and must still be listed as tracked.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ReportsFixture.h"
#include "chronelle/reports/ReportCalculator.h"

namespace chronelle::testing {
namespace {

class TrackedTasksTest : public ReportsFixture {
 protected:
  TrackedTasksTest() {
    makeTree();
    const Date march = berlinTime(2026, 3, 1);
    makeEntry(design, march, march);                                             // no length, at the start
    makeEntry(backend, berlinTime(2026, 3, 10), berlinTime(2026, 2, 20));        // ends before March
    makeEntry(frontend, berlinTime(2026, 4, 5, 9), berlinTime(2026, 3, 20, 9));  // begins after March
    makeEntry(top, berlinTime(2026, 3, 15, 9), berlinTime(2026, 3, 15, 10));     // forward, inside
    makeEntry(admin, berlinTime(2026, 1, 10, 9), berlinTime(2026, 1, 10, 10));   // forward, January
    save();
  }

  // The names of the tasks among the breakdown's nodes.
  std::set<std::string> taskNames(const ReportCalculator::NodeBreakdown& breakdown) const {
    std::set<std::string> names;
    for (const auto& task : {design, backend, frontend, admin, top}) {
      if (breakdown.contains(task->objectID())) names.insert(task->name());
    }
    return names;
  }
};

TEST_F(TrackedTasksTest, NodeBreakdownListsEntriesThatDoNotRunForward) {
  struct Case {
    int month;
    std::set<std::string> tasks;
  };
  const std::vector<Case> cases = {
      {1, {"admin"}},
      {2, {"design", "backend"}},  // the entry of no length ends where February ends
      {3, {"design", "backend", "frontend", "top"}},
      {4, {"frontend"}},
  };
  ReportCalculator calculator(provider);
  for (const auto& c : cases) {
    SessionQuery3 query;
    query.from = berlinTime(2026, c.month, 1);
    query.to = berlinTime(2026, c.month + 1, 1);
    const auto breakdown = calculator.calculateNodeBreakdown(query, TotalValueTypeOptionSet::all);
    EXPECT_EQ(taskNames(breakdown), c.tasks) << "month " << c.month;
    // Listing them adds no time: only the forward entry counts.
    const auto it = breakdown.find(top->objectID());
    if (it != breakdown.end()) {
      EXPECT_EQ(it->second.sessionCount, 1) << "month " << c.month;
    }
  }
}

}  // namespace
}  // namespace chronelle::testing
