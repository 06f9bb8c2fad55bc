#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/reports/ReportChartGranularity.h"
#include "chronelle/reports/ReportOperation.h"
#include "chronelle/reports/SessionColumnData.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

/// Computes the chart columns of one query in the background: on a private store context of
/// its own over the registered CoreDataStack, with a TimeEntriesChartDataCalculator seeded
/// from the given column cache, small groups filtered out, and the running entry (looked up
/// by `currentSessionId` in that context) added to the columns it falls into. Hands the
/// columns and the column cache after the run to its completion, once, on the thread that
/// runs it. Store errors are logged by the calculator; the operation reports no error.
///
/// Precondition: a CoreDataStack is registered in the Injector's container. Inputs are
/// immutable; enqueue from any thread.
class TimeEntriesChartDataCalculationOperation : public ReportOperation {
 public:
  /// Chart columns by query key (see ReportCacheProvider).
  using ChartDataCache = std::map<std::string, SessionColumnData>;
  /// Called once with the operation, the columns in time order and the column cache after
  /// the run (copies the caller may keep), on the operation's thread.
  using Completion = std::function<void(TimeEntriesChartDataCalculationOperation&,
                                        const std::vector<SessionColumnData>&, const ChartDataCache&)>;

  /// An operation computing the columns of `sessionQuery` per `granularity`; see `start` for where
  /// it runs.
  TimeEntriesChartDataCalculationOperation(SessionQuery3 sessionQuery, ReportChartGranularity granularity,
                                           std::optional<ObjectID> currentSessionId,
                                           std::optional<ChartDataCache> chartDataCache, Completion completion);

  /// The query computed, as given.
  const SessionQuery3& sessionQuery() const { return sessionQuery_; }
  /// Columns per day or per month, as given.
  ReportChartGranularity granularity() const { return granularity_; }
  /// The running entry added afresh to the columns, as given; absent when none.
  const std::optional<ObjectID>& currentSessionId() const { return currentSessionId_; }
  /// The columns cached before the run, as given; absent when none were.
  const std::optional<ChartDataCache>& chartDataCache() const { return chartDataCache_; }
  /// SQL queries the operation's context ran (the running entry's lookup included), known once
  /// the completion is called (0 before).
  std::size_t storeFetchCount() const { return storeFetchCount_.load(); }

 protected:
  void main() override;

 private:
  const SessionQuery3 sessionQuery_;
  const ReportChartGranularity granularity_;
  const std::optional<ObjectID> currentSessionId_;
  const std::optional<ChartDataCache> chartDataCache_;
  const Completion completion_;
  std::atomic<std::size_t> storeFetchCount_{0};
};

}  // namespace chronelle
