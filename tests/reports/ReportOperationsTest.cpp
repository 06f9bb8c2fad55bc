// Background operations on a thread pool, their caches, and the application's report cache.

#include <gtest/gtest.h>

#include <asio/thread_pool.hpp>
#include <future>
#include <thread>

#include "ReportsFixture.h"
#include "chronelle/model/ContextChanges.h"
#include "chronelle/model/ContextChangesNotification.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/reports/BreakdownReportCalculationOperation.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/TimeEntriesChartDataCalculationOperation.h"

namespace chronelle::testing {
namespace {

using Billing = SessionQuery3::BillingStatusOption;
using Options = BreakdownReportCalculationOperation::CalculationOptions;

struct BreakdownResult {
  BreakdownReportCalculation record;
  BreakdownReportCalculationOperation::Cache cache;
  std::size_t fetches = 0;
  std::thread::id thread;
  int calls = 0;
};

struct ChartResult {
  std::vector<SessionColumnData> columns;
  TimeEntriesChartDataCalculationOperation::ChartDataCache cache;
  std::size_t fetches = 0;
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

  BreakdownResult runBreakdown(const SessionQuery3& query, Options options,
                               std::optional<BreakdownReportCalculationOperation::Cache> cache) {
    auto done = std::make_shared<std::promise<void>>();
    auto result = std::make_shared<BreakdownResult>();
    auto operation = std::make_shared<BreakdownReportCalculationOperation>(
        query, options, TotalValueTypeOptionSet::all, std::move(cache),
        [result, done](BreakdownReportCalculationOperation& op, const BreakdownReportCalculation& record,
                       const BreakdownReportCalculationOperation::Cache& map) {
          result->record = record;
          result->cache = map;
          result->fetches = op.storeFetchCount();
          result->thread = std::this_thread::get_id();
          if (++result->calls == 1) done->set_value();
        });
    ReportOperation::enqueue(operation, pool);
    done->get_future().get();
    EXPECT_TRUE(operation->isAsynchronous());
    return *result;
  }

  ChartResult runChart(const SessionQuery3& query, std::optional<ObjectID> runningId,
                       std::optional<TimeEntriesChartDataCalculationOperation::ChartDataCache> cache) {
    auto done = std::make_shared<std::promise<ChartResult>>();
    auto operation = std::make_shared<TimeEntriesChartDataCalculationOperation>(
        query, ReportChartGranularity::daily, std::move(runningId), std::move(cache),
        [done](TimeEntriesChartDataCalculationOperation& op, const std::vector<SessionColumnData>& columns,
               const TimeEntriesChartDataCalculationOperation::ChartDataCache& map) {
          done->set_value(ChartResult{columns, map, op.storeFetchCount()});
        });
    ReportOperation::enqueue(operation, pool);
    return done->get_future().get();
  }

  std::string totalsKey(const SessionQuery3& query) const { return query.hashKey() + "-7"; }

  asio::thread_pool pool{2};
  std::shared_ptr<Session> running;
  ReportScope3 week{Calendar()};
};

TEST_F(ReportOperationsTest, BreakdownComputesWhatIsAskedAndReturnsItsCache) {
  const SessionQuery3 query = week.toSessionQuery();
  const auto summaryOnly = runBreakdown(query, Options::summary, std::nullopt);
  EXPECT_NE(summaryOnly.thread, std::this_thread::get_id()) << "runs on a pool thread";
  EXPECT_EQ(summaryOnly.calls, 1);
  EXPECT_FALSE(summaryOnly.record.nodeBreakdown.has_value());
  EXPECT_FALSE(summaryOnly.record.trackedNodeIds.has_value());
  EXPECT_FALSE(summaryOnly.record.billingBreakdown.has_value());
  // 2 h + 2 h + 20 min (the part of the backend entry after Sunday midnight) + 30 min.
  EXPECT_EQ(summaryOnly.record.summary.duration, 2 * 3600 + 2 * 3600 + 20 * 60 + 30 * 60);
  EXPECT_EQ(summaryOnly.record.summary.sessionCount, 4);
  EXPECT_NEAR(summaryOnly.record.summary.revenue, 100 + 100 + 60, 1e-9);
  EXPECT_EQ(summaryOnly.cache.size(), 1u);
  EXPECT_TRUE(summaryOnly.cache.contains(totalsKey(query)));

  // Restricted to one task and billed entries: tracked nodes still list everything with time.
  const SessionQuery3 narrow = week.scopeByAdusting(NodeSet{design}).scopeByAdding(Billing::billed).toSessionQuery();
  const auto all = runBreakdown(narrow, Options::all, std::nullopt);
  const std::set<ObjectID> tracked = {design->objectID(), backend->objectID(), top->objectID(), work->objectID(),
                                      dev->objectID()};
  EXPECT_EQ(all.record.trackedNodeIds, tracked);
  ASSERT_TRUE(all.record.nodeBreakdown.has_value());
  EXPECT_EQ(all.record.nodeBreakdown->size(), 2u) << "design and work";
  EXPECT_EQ(all.record.nodeBreakdown->at(design->objectID()), (TotalValues{7200, 100, 1}));
  EXPECT_EQ(all.record.nodeBreakdown->at(work->objectID()), (TotalValues{7200, 100, 1}));
  ASSERT_TRUE(all.record.billingBreakdown.has_value());
  EXPECT_EQ(all.record.billingBreakdown->unbilled, (TotalValues{7200, 100, 1}));
  EXPECT_EQ(all.record.billingBreakdown->paid, TotalValues::zero);
  EXPECT_EQ(all.record.summary, (TotalValues{7200, 100, 1}));
  // The summary, the four states and one sub-query per tracked task of the breakdown.
  std::set<std::string> expectedKeys = {totalsKey(narrow)};
  for (const Billing status : {Billing::nonBillable, Billing::unbilled, Billing::billed, Billing::paid}) {
    SessionQuery3 single = narrow;
    single.billingStatus = std::set<Billing>{status};
    expectedKeys.insert(totalsKey(single));
  }
  SessionQuery3 perTask = narrow;
  perTask.taskIds = std::set<ObjectID>{design->objectID()};
  expectedKeys.insert(totalsKey(perTask));
  std::set<std::string> keys;
  for (const auto& [key, value] : all.cache) keys.insert(key);
  EXPECT_EQ(keys, expectedKeys);
  EXPECT_NE(all.record.description().find(design->objectID().uriRepresentation() + " 2:00:00 | 100\n"),
            std::string::npos)
      << all.record.description();

  // Given that cache, a second run answers without reading the store.
  const auto again = runBreakdown(narrow, Options::summary | Options::billingBreakdown, all.cache);
  EXPECT_EQ(again.fetches, 0u);
  EXPECT_EQ(again.record.summary, all.record.summary);
  EXPECT_EQ(again.record.billingBreakdown, all.record.billingBreakdown);
  EXPECT_GT(all.fetches, 0u);
}

TEST_F(ReportOperationsTest, ChartSecondRunReadsOnlyTheRunningEntry) {
  makeEntry(top, berlinTime(2026, 3, 24, 12), berlinTime(2026, 3, 24, 12, 0, 30));
  save();
  const SessionQuery3 query = week.toSessionQuery();
  const auto first = runChart(query, running->objectID(), std::nullopt);
  ASSERT_EQ(first.columns.size(), 7u);
  EXPECT_EQ(first.columns[1].segments.size(), 1u) << "the chart leaves out groups of a minute or less";
  ASSERT_EQ(first.columns[6].segments.size(), 1u);
  EXPECT_EQ(first.columns[6].segments[0].duration, 2 * 3600) << "13:00 to 15:00";
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
  EXPECT_EQ(second.columns[6].segments[0].duration, 2 * 3600 + 900);
  EXPECT_EQ(second.columns[6].segments[0].revenue, 202.5);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(second.columns[i], first.columns[i]) << i;
  EXPECT_EQ(runChart(query, std::nullopt, first.cache).fetches, 0u);
}

TEST_F(ReportOperationsTest, CacheProviderMergesAndEmptiesOnTrackedChanges) {
  ReportCacheProvider caches;
  caches.apply(ReportCacheProvider::BreakdownCache{{"a", TotalValues{1, 2, 3}}, {"b", TotalValues{4, 5, 6}}});
  caches.apply(ReportCacheProvider::BreakdownCache{{"b", TotalValues{7, 8, 9}}});
  caches.setValueToBreakdownCache(TotalValues{1, 1, 1}, "c");
  EXPECT_EQ(caches.breakdownCacheValue("b"), (TotalValues{7, 8, 9}));
  EXPECT_EQ(caches.breakdownCache().size(), 3u);
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
  struct Case {
    const char* name;
    std::optional<ContextChanges> changes;
    bool clears;
  };
  const Case cases[] = {
      {"no change set", std::nullopt, false},
      {"a rule saved", ContextChanges{{}, ContextChanges::Entity::rule, {}}, false},
      {"activity log and rule set", ContextChanges{ContextChanges::Entity::alEntry, ContextChanges::Entity::ruleSet, {}},
       false},
      {"an entry saved", ContextChanges{ContextChanges::Entity::session, {}, {}}, true},
      {"a folder deleted", ContextChanges{{}, {}, ContextChanges::Entity::folder}, true},
      {"a task renamed with a rule", ContextChanges{{}, ContextChanges::Entity::task | ContextChanges::Entity::rule, {}},
       true},
  };
  for (const auto& c : cases) {
    caches.setValueToBreakdownCache(TotalValues{1, 1, 1}, "k");
    caches.apply(ReportCacheProvider::ChartDataCache{{"k", column}});
    logs.clear();
    post(c.changes);
    EXPECT_EQ(caches.breakdownCache().empty(), c.clears) << c.name;
    EXPECT_EQ(caches.trackedSessionsChartDataCache().empty(), c.clears) << c.name;
    EXPECT_EQ(logs.records("ReportCacheProvider").size(), c.clears ? 1u : 0u) << c.name;
  }
}

}  // namespace
}  // namespace chronelle::testing
