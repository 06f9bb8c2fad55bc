// Breakdown and chart operations on pool threads while the main queue writes entries, each
// save emptying the caches from there. Run under ThreadSanitizer to look for races.

#include <gtest/gtest.h>

#include <asio/thread_pool.hpp>
#include <atomic>
#include <future>

#include "ReportsFixture.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/reports/BreakdownReportCalculationOperation.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/reports/ReportScope3.h"
#include "chronelle/reports/TimeEntriesChartDataCalculationOperation.h"
#include "testsupport/RunOnMain.h"

namespace chronelle::testing {
namespace {

using Options = BreakdownReportCalculationOperation::CalculationOptions;

class ReportConcurrencyTest : public ReportsFixture {};

TEST_F(ReportConcurrencyTest, OperationsRunWhileTheMainThreadWrites) {
  auto task = makeTask("design");
  auto other = makeTask("other");
  const Date monday = berlinTime(2026, 3, 23);
  for (int i = 0; i < 10; ++i) makeEntry(i % 2 ? task : other, monday + i * 7200.0, monday + i * 7200.0 + 3600, true, 60);
  save();
  ReportScope3 week(berlin());
  week.type = ReportScopeType::weekly;
  week.referenceDate = monday;
  const SessionQuery3 query = week.toSessionQuery();

  auto writer = std::make_shared<MainDataProvider>();
  ReportCacheProvider appCaches;  // the application's, on this (main) thread
  appCaches.setValueToBreakdownCache(TotalValues{1, 1, 1}, "stale");
  asio::thread_pool pool(2);
  constexpr int kRuns = 8;
  std::vector<std::future<double>> results;
  std::atomic<int> completions{0};
  for (int i = 0; i < kRuns; ++i) {
    auto breakdownDone = std::make_shared<std::promise<double>>();
    results.push_back(breakdownDone->get_future());
    ReportOperation::enqueue(
        std::make_shared<BreakdownReportCalculationOperation>(
            query, Options::all, TotalValueTypeOptionSet::all, appCaches.breakdownCache(),
            [breakdownDone, &completions](auto&, const BreakdownReportCalculation& record, const auto&) {
              ++completions;
              breakdownDone->set_value(record.summary.duration);
            }),
        pool);
    auto chartDone = std::make_shared<std::promise<double>>();
    results.push_back(chartDone->get_future());
    ReportOperation::enqueue(std::make_shared<TimeEntriesChartDataCalculationOperation>(
                                 query, ReportChartGranularity::daily, std::nullopt,
                                 appCaches.trackedSessionsChartDataCache(),
                                 [chartDone, &completions](auto&, const std::vector<SessionColumnData>& columns,
                                                           const auto&) {
                                   ++completions;
                                   double total = 0;
                                   for (const auto& column : columns) total += column.totalDuration();
                                   chartDone->set_value(total);
                                 }),
                             pool);

    // Meanwhile: an entry written on the main queue, whose save announces the change there.
    const Date begin = monday + 86400.0 + i * 600.0;
    runToEnd(writer->createTimeEntry(begin, begin + 300.0, task->objectID(), false, std::nullopt));
  }

  // Every run saw the first ten entries and at most all eighteen.
  for (auto& result : results) {
    const double duration = result.get();
    EXPECT_GE(duration, 10 * 3600.0);
    EXPECT_LE(duration, 10 * 3600.0 + kRuns * 300.0);
  }
  pool.join();
  EXPECT_EQ(completions.load(), 2 * kRuns) << "each operation completes once";
  EXPECT_TRUE(appCaches.breakdownCache().empty()) << "a saved entry empties the application's caches";
}

}  // namespace
}  // namespace chronelle::testing
