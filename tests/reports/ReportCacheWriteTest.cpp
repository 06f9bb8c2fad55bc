// The application's report cache against real saves through the write side.

#include <gtest/gtest.h>

#include "ReportsFixture.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Rule.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/reports/ReportCalculator.h"
#include "testsupport/RunOnMain.h"

namespace chronelle::testing {
namespace {

class ReportCacheWriteTest : public ReportsFixture {
 protected:
  // Fills both caches: totals through a calculator holding the provider, columns by apply.
  void fill() {
    ReportCalculator calculator(provider, caches);
    calculator.calculateBillingBreakdown(week.toSessionQuery(), TotalValueTypeOptionSet::all);
    caches->apply(ReportCacheProvider::ChartDataCache{{"column", SessionColumnData(week.fromDate())}});
    ASSERT_EQ(caches->breakdownCache().size(), 4u);
  }

  bool empty() const {
    return caches->breakdownCache().empty() && caches->trackedSessionsChartDataCache().empty();
  }

  std::shared_ptr<ReportCacheProvider> caches = std::make_shared<ReportCacheProvider>();
  ReportScope3 week = ReportScope3(berlin()).scopeByAdjusting(ReportScopeType::weekly);
};

TEST_F(ReportCacheWriteTest, EntriesEmptyTheCachesRulesKeepThem) {
  auto writer = std::make_shared<MainDataProvider>();
  auto task = makeTask("design");
  save();
  MainQueue::shared().runPending();
  auto scratch = stack->childContext();
  auto rule = scratch->insert<Rule>(Rule::kEntityName);
  rule->setText("editor");

  // The first rule also gives the task its rule set: the task changed.
  runToEnd(writer->createRule(rule, task->objectID()));
  fill();
  runToEnd(writer->createRule(rule, task->objectID()));
  EXPECT_FALSE(empty()) << "a rule alone keeps the caches";

  runToEnd(writer->createTimeEntry(time.now() - 3600.0, time.now(), task->objectID(), false, std::nullopt));
  EXPECT_TRUE(empty()) << "a saved entry empties them";

  // Totals computed afterwards see the new entry.
  fill();
  SessionQuery3 nonBillable = week.toSessionQuery();
  nonBillable.billingStatus =
      std::set<SessionQuery3::BillingStatusOption>{SessionQuery3::BillingStatusOption::nonBillable};
  EXPECT_EQ(caches->breakdownCacheValue(nonBillable.hashKey() + "-7"), (TotalValues{3600, 0, 1}));
}

}  // namespace
}  // namespace chronelle::testing
