// Totals, billing and node breakdowns of real periods, checked against sums computed by hand
// from the entries the store was filled with.

#include <gtest/gtest.h>

#include "ReportNumbersFixture.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/support/Injector.h"
#include "chronelle/timer/CHTimer.h"

namespace chronelle::testing {
namespace {

using Billing = SessionQuery3::BillingStatusOption;
using Types = TotalValueTypeOptionSet;

void expectTotals(const TotalValues& actual, const TotalValues& expected, const std::string& what) {
  EXPECT_EQ(actual.duration, expected.duration) << what;
  EXPECT_NEAR(actual.revenue, expected.revenue, 1e-6) << what;
  EXPECT_EQ(actual.sessionCount, expected.sessionCount) << what;
}

class ReportNumbersTest : public ReportNumbersFixture {
 protected:
  // Expected node breakdown: each tracked task, and every folder above one as the sum of
  // its tracked tasks.
  std::map<ObjectID, TotalValues> expectedNodes(std::int64_t from, std::int64_t to,
                                                const ReportDataSet::Filter& filter) const {
    const auto byTask = data.totalsByTask(from, to, filter);
    std::map<ObjectID, TotalValues> result;
    for (const int task : data.trackedTasks(from, to, filter)) {
      const auto it = byTask.find(task);
      const TotalValues values = it == byTask.end() ? TotalValues::zero : it->second;
      result[tasks[static_cast<std::size_t>(task)]->objectID()] = values;
      for (const auto& folder : folderIDs(task)) result[folder] += values;
    }
    return result;
  }
};

TEST_F(ReportNumbersTest, TotalsAndBreakdownsMatchHandSums) {
  // The application's timer, showing the running entry.
  auto timer = std::make_shared<CHTimer>();
  Injector::sharedSyncedContainer().registerInstance<CHTimer>(timer);
  timer->assignCurrentSession(running);
  ReportCalculator calculator(provider);
  const Session& runningEntry = *running;

  int casesWithTime = 0;
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const SessionQuery3 query = c.scope.toSessionQuery();
    const std::int64_t from = seconds(c.scope.fromDate());
    const std::int64_t to = seconds(c.scope.toDate());
    const TotalValues expected = data.totals(from, to, c.filter);
    if (expected.sessionCount > 0) ++casesWithTime;

    expectTotals(calculator.totalValuesForSessions(query, Types::all), expected, "totals");
    // Fields not asked for stay zero.
    const TotalValues durationOnly = calculator.totalValuesForSessions(query, Types::duration);
    EXPECT_EQ(durationOnly, (TotalValues{expected.duration, 0, 0}));
    const TotalValues moneyAndCount = calculator.totalValuesForSessions(query, Types::revenue | Types::sessionCount);
    EXPECT_NEAR(moneyAndCount.revenue, expected.revenue, 1e-6);
    EXPECT_EQ(moneyAndCount.sessionCount, expected.sessionCount);
    EXPECT_EQ(moneyAndCount.duration, 0);

    // The running entry joins with its part inside the period, measured up to now.
    TotalValues withRunning = expected;
    if (data.runningCounts(from, to, c.filter)) {
      const auto& entry = data.entries[static_cast<std::size_t>(data.runningIndex)];
      const std::int64_t part = std::min(data.now, to) - std::max(entry.begin, from);
      withRunning.duration += static_cast<double>(part);
      withRunning.revenue += ReportDataSet::money(entry, part);
      withRunning.sessionCount += 1;
    }
    expectTotals(expected.byAddingUnconfirmedCurrentSession(query), withRunning, "with the running entry");
    expectTotals(expected.byAddingUnconfirmedSession(&runningEntry, query), withRunning, "given the entry");

    // Per billing state, the query's own billing filter replaced.
    const auto billing = calculator.calculateBillingBreakdown(query, Types::all);
    for (const Billing status : {Billing::nonBillable, Billing::unbilled, Billing::billed, Billing::paid}) {
      ReportDataSet::Filter single = c.filter;
      single.billing = std::set<Billing>{status};
      TotalValues expectedStatus = data.totals(from, to, single);
      expectTotals(billing.totalValues(status), expectedStatus, "billing state " + std::to_string(int(status)));
    }
    EXPECT_EQ(billing.nonBillable.revenue, 0);

    // Per node: tracked tasks and the folders above them.
    const auto nodes = calculator.calculateNodeBreakdown(query, Types::all);
    const auto expectedByNode = expectedNodes(from, to, c.filter);
    EXPECT_EQ(nodes.size(), expectedByNode.size());
    for (const auto& [id, values] : expectedByNode) {
      const auto it = nodes.find(id);
      ASSERT_NE(it, nodes.end()) << "missing node " << id.uriRepresentation();
      expectTotals(it->second, values, "node " + id.uriRepresentation());
    }

    // Tracked nodes: the same tasks and their folders.
    std::set<ObjectID> trackedIds;
    for (const auto& node : calculator.trackedNodes(query)) trackedIds.insert(node->objectID());
    std::set<ObjectID> expectedIds;
    for (const auto& [id, values] : expectedByNode) expectedIds.insert(id);
    EXPECT_EQ(trackedIds, expectedIds);
  }
  EXPECT_GE(casesWithTime, 30) << "the cases must mostly see time";

  // Not added once confirmed, nor when the timer has no entry.
  const SessionQuery3 today = cases().front().scope.toSessionQuery();
  EXPECT_NE(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
  running->setConfirmedDuration(1);
  EXPECT_EQ(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
  running->setConfirmedDuration(0);
  timer->assignCurrentSession(nullptr);
  EXPECT_EQ(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
}

// Without the timer the running entry cannot be added: a loud failure, never totals that
// silently leave it out.
TEST_F(ReportNumbersTest, RunningEntryNeedsTheRegisteredTimer) {
  EXPECT_DEATH((void)TotalValues::zero.byAddingUnconfirmedCurrentSession(SessionQuery3{}),
               "unregistered service chronelle::CHTimer");
}

TEST_F(ReportNumbersTest, FlatBreakdownReplacesTheTaskFilter) {
  ReportCalculator calculator(provider);
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const SessionQuery3 query = c.scope.toSessionQuery();
    const std::int64_t from = seconds(c.scope.fromDate());
    const std::int64_t to = seconds(c.scope.toDate());
    struct Child {
      ObjectID id;
      std::set<int> tasks;
    };
    const std::vector<Child> topLevel = {{folders.at("work")->objectID(), {0, 1, 2}},
                                         {folders.at("ops")->objectID(), {3, 4}},
                                         {tasks[5]->objectID(), {5}},
                                         {folders.at("old")->objectID(), {6}}};
    std::map<ObjectID, TotalValues> expected;
    for (const auto& child : topLevel) {
      ReportDataSet::Filter filter = c.filter;
      filter.tasks = child.tasks;
      const TotalValues values = data.totals(from, to, filter);
      if (values.sessionCount > 0) expected[child.id] = values;
    }
    const auto actual = calculator.calculateFlatNodeBreakdown(query, nullptr, TotalValueTypeOptionSet::all);
    EXPECT_EQ(actual.size(), expected.size());
    for (const auto& [id, values] : expected) {
      ASSERT_TRUE(actual.contains(id)) << id.uriRepresentation();
      expectTotals(actual.at(id), values, id.uriRepresentation());
    }

    // Inside a folder: its direct children only.
    const auto dev = calculator.calculateFlatNodeBreakdown(query, folders.at("work/dev"), TotalValueTypeOptionSet::all);
    for (const int task : {1, 2}) {
      ReportDataSet::Filter filter = c.filter;
      filter.tasks = std::set<int>{task};
      const TotalValues values = data.totals(from, to, filter);
      const auto id = tasks[static_cast<std::size_t>(task)]->objectID();
      EXPECT_EQ(dev.contains(id), values.sessionCount > 0);
      if (dev.contains(id)) expectTotals(dev.at(id), values, data.tasks[static_cast<std::size_t>(task)].name);
    }
    EXPECT_LE(dev.size(), 2u);
  }
}

}  // namespace
}  // namespace chronelle::testing
