// One stretch of work priced by every path that shows money: the entry, the day list, the
// stored value, the day report and the chart, while the entry runs and after its pause.

#include <gtest/gtest.h>

#include <map>

#include "ReportsFixture.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/list/SessionFetchedResultsController3.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/ReportScope3.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"
#include "chronelle/support/Injector.h"
#include "chronelle/timer/CHTimer.h"

namespace chronelle::testing {
namespace {

class RevenueAgreementTest : public ReportsFixture {
 protected:
  // Each path's revenue for `entry` on the day of `query`; -1 where the path shows no single value.
  std::map<std::string, double> prices(const std::shared_ptr<Session>& entry, const SessionQuery3& query) {
    const bool running = !entry->end();
    std::map<std::string, double> result{{"entry", entry->effectiveRevenue()}};
    if (!running) result["stored"] = entry->confirmedRevenue();
    SessionFetchedResultsController3 list(query, berlin());
    list.performFetch();
    const auto fragments = list.fragments(*entry);
    result["list"] = fragments.size() == 1 ? fragments.front()->revenue() : -1;
    const TotalValues totals = ReportCalculator(provider).totalValuesForSessions(query, TotalValueTypeOptionSet::all);
    result["day report"] = totals.byAddingUnconfirmedCurrentSession(query).revenue;
    const auto columns = TimeEntriesChartDataCalculator(provider).calculateValuesForBarChart(
        query, ReportChartGranularity::daily, false, running ? entry : nullptr);
    result["chart"] = columns.size() == 1 && columns[0].segments.size() == 1 ? columns[0].segments[0].revenue : -1;
    return result;
  }
};

TEST_F(RevenueAgreementTest, EveryPathShowsTheSameMoneyRunningAndPaused) {
  Injector::sharedSyncedContainer().registerInstance<MainDataProvider>(std::make_shared<MainDataProvider>());
  auto timer = std::make_shared<CHTimer>();
  Injector::sharedSyncedContainer().registerInstance<CHTimer>(timer);
  DataModifier modifier(stack->viewContext());
  const struct {
    double rate;
    int seconds;
    double revenue;
  } cases[] = {{19.99, 1800, 10.00}, {18, 29, 0.15}, {30, 123, 1.03}, {50, 1200, 16.67}};
  for (int i = 0; i < 4; ++i) {
    const auto& c = cases[i];  // rate, seconds run, revenue every path shows
    // A day of its own for each case, so each report holds this entry alone.
    const Date begin = berlinTime(2026, 3, 2 + i, 10);
    auto task = makeTask("task " + std::to_string(i));
    task->setIsBillableSet(true), task->setIsBillable(true);
    task->setHourlyRateIsSet(true), task->setHourlyRate(c.rate);
    time.set(begin);
    auto entry = modifier.newTimeEntry();
    modifier.updateTimeEntry(*entry, *task);
    save();
    timer->assignCurrentSession(entry);
    ReportScope3 day(berlin());
    day.referenceDate = begin;
    const SessionQuery3 query = day.toSessionQuery();

    time.set(begin + c.seconds);
    for (const bool paused : {false, true}) {
      if (paused) modifier.updateTimeEntryEnd(*entry, time.now()), save();
      for (const auto& [path, revenue] : prices(entry, query)) EXPECT_EQ(revenue, c.revenue) << i << paused << path;
    }
  }
}

}  // namespace
}  // namespace chronelle::testing
