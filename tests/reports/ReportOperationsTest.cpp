// Background operations on a thread pool, their caches, and the application's report cache;
// run under ThreadSanitizer to look for races.

#include <gtest/gtest.h>

#include <asio/thread_pool.hpp>
#include <atomic>
#include <future>
#include <thread>

#include "ReportsFixture.h"
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/ContextChanges.h"
#include "chronelle/model/ContextChangesNotification.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/reports/BreakdownReportCalculationOperation.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/TimeEntriesChartDataCalculationOperation.h"
#include "testsupport/RunOnMain.h"

namespace chronelle::testing {
namespace {

using Billing = SessionQuery3::BillingStatusOption;
using Options = BreakdownReportCalculationOperation::CalculationOptions;
using Breakdown = BreakdownReportCalculationOperation;
using Chart = TimeEntriesChartDataCalculationOperation;
// What an operation's one completion call handed over, and where.
template <class Value, class Cache>
struct Ran {
  Value value;
  Cache cache;
  std::size_t fetches = 0;  // the operation's store fetches
  std::thread::id thread;
};

class ReportOperationsTest : public ReportsFixture {
 protected:
  ReportOperationsTest() {
    makeTree();
    makeEntry(design, berlinTime(2026, 3, 24, 9), berlinTime(2026, 3, 24, 11), true, 50, 1);     // billed
    makeEntry(design, berlinTime(2026, 3, 25, 23), berlinTime(2026, 3, 26, 1), true, 50, 0);     // unbilled
    makeEntry(backend, berlinTime(2026, 3, 22, 23), berlinTime(2026, 3, 23, 0, 20), false, 50);  // non-billable
    makeEntry(top, berlinTime(2026, 3, 27, 8), berlinTime(2026, 3, 27, 8, 30), true, 120, 2);   // paid
    running = makeEntry(design, berlinTime(2026, 3, 29, 13), std::nullopt, true, 90);
    save();
    week = ReportScope3(berlin());
    week.type = ReportScopeType::weekly;
    week.referenceDate = berlinTime(2026, 3, 25);
  }

  // Runs the operation made of `args` and a completion on the pool and waits for its call (a
  // second call would fail the promise).
  template <class Operation, class Value, class Cache, class... Args>
  Ran<Value, Cache> run(Args&&... args) {
    using Result = Ran<Value, Cache>;
    auto done = std::make_shared<std::promise<Result>>();
    auto operation = std::make_shared<Operation>(
        std::forward<Args>(args)..., [done](Operation& op, const Value& value, const auto& cache) {
          done->set_value(Result{value, cache, op.storeFetchCount(), std::this_thread::get_id()});
        });
    ReportOperation::enqueue(operation, pool);
    return done->get_future().get();
  }
  auto runBreakdown(const SessionQuery3& query, Options options, std::optional<Breakdown::Cache> cache) {
    return run<Breakdown, BreakdownReportCalculation, Breakdown::Cache>(query, options, TotalValueTypeOptionSet::all, std::move(cache));
  }
  auto runChart(const SessionQuery3& query, std::optional<ObjectID> runningId, std::optional<Chart::ChartDataCache> cache) {
    return run<Chart, std::vector<SessionColumnData>, Chart::ChartDataCache>(query, ReportChartGranularity::daily,
                                                                             std::move(runningId), std::move(cache));
  }

  asio::thread_pool pool{2};
  std::shared_ptr<Session> running;
  ReportScope3 week{Calendar()};
};

TEST_F(ReportOperationsTest, BreakdownComputesWhatIsAskedAndReturnsItsCache) {
  const SessionQuery3 query = week.toSessionQuery();
  const auto summaryOnly = runBreakdown(query, Options::summary, std::nullopt);
  EXPECT_NE(summaryOnly.thread, std::this_thread::get_id()) << "runs on a pool thread";
  const auto& only = summaryOnly.value;
  EXPECT_FALSE(only.nodeBreakdown || only.trackedNodeIds || only.billingBreakdown);
  // 2 h + 2 h + 20 min (the part of the backend entry after Sunday midnight) + 30 min.
  EXPECT_EQ(only.summary, (TotalValues{4 * 3600 + 50 * 60, 100 + 100 + 60, 4}));
  EXPECT_EQ(summaryOnly.cache, (Breakdown::Cache{{query.hashKey() + "-7", only.summary}}));
  // Asked with a node breakdown, the summary is the sum of its groups: no read of its own.
  const auto nodes = runBreakdown(query, Options::nodeBreakdown, std::nullopt);
  const auto both = runBreakdown(query, Options::nodeBreakdown | Options::summary, std::nullopt);
  EXPECT_EQ(std::pair(both.value.summary, both.fetches), std::pair(only.summary, nodes.fetches));

  // Restricted to one task and billed entries: tracked nodes still list everything with time.
  const SessionQuery3 narrow =
      week.scopeByAdusting(NodeSet{design}).scopeByAdding(Billing::billed).toSessionQuery();
  const auto all = runBreakdown(narrow, Options::all, std::nullopt);
  EXPECT_EQ(all.value.trackedNodeIds,
            (std::set<ObjectID>{design->objectID(), backend->objectID(), top->objectID(),
                                work->objectID(), dev->objectID()}));
  const TotalValues billed{7200, 100, 1};
  using Nodes = std::map<ObjectID, TotalValues>;
  EXPECT_EQ(all.value.nodeBreakdown, (Nodes{{design->objectID(), billed}, {work->objectID(), billed}}));
  ASSERT_TRUE(all.value.billingBreakdown.has_value());
  const auto& states = *all.value.billingBreakdown;
  EXPECT_EQ(std::tuple(states.unbilled, states.paid, all.value.summary),
            std::tuple(billed, TotalValues::zero, billed));

  // Without the tracked nodes, the same parts in the same order (the summary from the node
  // breakdown's groups, the billing from its cache), and the second pass is not read.
  auto context = stack->privateContext();
  const ReportCalculator calculator(std::make_shared<BaseDataProvider>(context),
                                    std::make_shared<ReportCacheProvider>());
  const auto leftOut = Breakdown::calculate(calculator, narrow, Options::all, TotalValueTypeOptionSet::all,
                                            Breakdown::TrackedNodes::leftOut);
  EXPECT_FALSE(leftOut.trackedNodeIds.has_value());
  EXPECT_EQ(std::tuple(leftOut.nodeBreakdown, leftOut.billingBreakdown, leftOut.summary),
            std::tuple(all.value.nodeBreakdown, all.value.billingBreakdown, all.value.summary));
  EXPECT_LT(context->storeFetchCount(), all.fetches);

  // Given that cache, a second run answers without reading the store.
  const auto again = runBreakdown(narrow, Options::summary | Options::billingBreakdown, all.cache);
  EXPECT_EQ(std::tuple(again.fetches, again.value.summary, again.value.billingBreakdown),
            std::tuple(0ul, all.value.summary, all.value.billingBreakdown));
  EXPECT_GT(all.fetches, 0u);
}

TEST_F(ReportOperationsTest, ChartSecondRunReadsOnlyTheRunningEntry) {
  makeEntry(top, berlinTime(2026, 3, 24, 12), berlinTime(2026, 3, 24, 12, 0, 30));
  save();
  const SessionQuery3 query = week.toSessionQuery();
  const auto first = runChart(query, running->objectID(), std::nullopt);
  ASSERT_EQ(first.value.size(), 7u);
  EXPECT_EQ(first.value[1].segments.size(), 1u) << "the chart leaves out groups of a minute or less";
  EXPECT_EQ(first.value[6].segments.at(0).duration, 2 * 3600) << "13:00 to 15:00";
  EXPECT_EQ(first.cache.size(), 7u);

  // What showing the running entry costs on a fresh context: the entry, its task, and the
  // task's folder for the segment's label.
  auto probe = stack->privateContext();
  probe->performAndWait([&] {
    auto entry = std::dynamic_pointer_cast<Session>(probe->existingObject(running->objectID()));
    ASSERT_TRUE(entry && entry->task());
    EXPECT_EQ(SessionColumnSegment(*entry->task()).taskParentName, "work");
  });
  const std::size_t entryReads = probe->storeFetchCount();

  time.advance(900);
  const auto second = runChart(query, running->objectID(), first.cache);
  EXPECT_EQ(second.fetches, entryReads);
  EXPECT_EQ(std::pair(second.value[6].segments[0].duration, second.value[6].segments[0].revenue),
            std::pair(2 * 3600.0 + 900, 202.5));
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(second.value[i], first.value[i]) << i;
  EXPECT_EQ(runChart(query, std::nullopt, first.cache).fetches, 0u);
}

TEST_F(ReportOperationsTest, CacheProviderMergesAndEmptiesOnTrackedChanges) {
  ReportCacheProvider caches;
  caches.apply(ReportCacheProvider::BreakdownCache{{"a", TotalValues{1, 2, 3}}, {"b", TotalValues{4, 5, 6}}});
  caches.apply(ReportCacheProvider::BreakdownCache{{"b", TotalValues{7, 8, 9}}});
  caches.setValueToBreakdownCache(TotalValues{1, 1, 1}, "c");
  EXPECT_EQ(std::pair(caches.breakdownCacheValue("b"), caches.breakdownCache().size()),
            std::pair(std::optional(TotalValues{7, 8, 9}), 3ul));
  SessionColumnData column(berlinTime(2026, 3, 1));
  caches.apply(ReportCacheProvider::ChartDataCache{{"x-true", column}});
  column.sessionCount = 5;
  caches.apply(ReportCacheProvider::ChartDataCache{{"x-true", column}});
  EXPECT_EQ(caches.trackedSessionsChartDataCache().at("x-true").sessionCount, 5);

  const auto post = [](std::optional<ContextChanges> changes) {
    UserInfo info;
    if (changes) info[kContextChangesKey] = *changes;
    NotificationCenter::defaultCenter().post("mainContextDidChange", nullptr, info);
  };
  const struct { const char* name; std::optional<ContextChanges> changes; bool clears; } cases[] = {
      {"no change set", std::nullopt, false},
      {"a rule saved", ContextChanges{{}, ContextChanges::Entity::rule, {}}, false},
      {"an entry saved", ContextChanges{ContextChanges::Entity::session, {}, {}}, true},
  };
  for (const auto& c : cases) {
    caches.setValueToBreakdownCache(TotalValues{1, 1, 1}, "k");
    caches.apply(ReportCacheProvider::ChartDataCache{{"k", column}});
    logs.clear();
    post(c.changes);
    EXPECT_EQ(std::tuple(caches.breakdownCache().empty(), caches.trackedSessionsChartDataCache().empty(),
                         logs.records("ReportCacheProvider").size()),
              std::tuple(c.clears, c.clears, c.clears ? 1u : 0u))
        << c.name;
  }
}

// Breakdown and chart operations on pool threads while the main queue writes entries, each
// save emptying the application's caches from there.
TEST_F(ReportOperationsTest, OperationsRunWhileTheMainThreadWrites) {
  const SessionQuery3 query = week.toSessionQuery();
  auto writer = std::make_shared<MainDataProvider>();
  ReportCacheProvider appCaches;  // the application's, on this (main) thread
  appCaches.setValueToBreakdownCache(TotalValues{1, 1, 1}, "stale");
  constexpr int kRuns = 8;
  std::vector<std::future<double>> results;
  std::atomic<int> completions{0};
  // A promise for one run's total duration, fulfilled by the returned completion.
  const auto done = [&](auto total) {
    auto promise = std::make_shared<std::promise<double>>();
    results.push_back(promise->get_future());
    return [promise, total, &completions](auto&, const auto& result, const auto&) {
      ++completions;
      promise->set_value(total(result));
    };
  };
  for (int i = 0; i < kRuns; ++i) {
    ReportOperation::enqueue(std::make_shared<BreakdownReportCalculationOperation>(
                                 query, Options::all, TotalValueTypeOptionSet::all, appCaches.breakdownCache(),
                                 done([](const BreakdownReportCalculation& r) { return r.summary.duration; })),
                             pool);
    ReportOperation::enqueue(std::make_shared<TimeEntriesChartDataCalculationOperation>(
                                 query, ReportChartGranularity::daily, std::nullopt,
                                 appCaches.trackedSessionsChartDataCache(),
                                 done([](const std::vector<SessionColumnData>& columns) {
                                   double total = 0;
                                   for (const auto& column : columns) total += column.totalDuration();
                                   return total;
                                 })),
                             pool);
    // Meanwhile: an entry written on the main queue, whose save announces the change there.
    const Date begin = berlinTime(2026, 3, 24, 12) + i * 600.0;
    runToEnd(writer->createTimeEntry(begin, begin + 300.0, top->objectID(), false, std::nullopt));
  }

  // Every run saw the first four entries (as summed in the breakdown test) and at most all twelve.
  for (auto& result : results) {
    const double duration = result.get();
    EXPECT_TRUE(duration >= 17400 && duration <= 17400 + kRuns * 300) << duration;
  }
  pool.join();
  EXPECT_EQ(completions.load(), 2 * kRuns) << "each operation completes once";
  EXPECT_TRUE(appCaches.breakdownCache().empty()) << "a saved entry empties the application's caches";
}

}  // namespace
}  // namespace chronelle::testing
