#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/ReportChartGranularity.h"
#include "chronelle/reports/SessionColumnData.h"

namespace chronelle {

class BaseDataProvider;
class Session;

/// Computes the columns of the report bar chart: one per day or month of a query's period,
/// each stacked from one segment per task. A column holds the finished entries inside it
/// with their stored duration and revenue and the entries crossing its bounds with their part
/// inside it; revenue is summed in whole cents. The columns a chart lacks are read in one
/// range query over their span and bucketed in memory; while the context has unsaved changes
/// (which rows would not show), and for a single column, each column is filled by a grouped
/// aggregate plus its crossing entries instead. Columns are cached by query and small-group
/// setting; the running entry is never cached but added afresh each time, so a cached column
/// stays valid while the timer runs.
///
/// Never throws: a store error is logged on the "TimeEntriesChartDataCalculator" logger and
/// the column stays empty. Fetches run synchronously on the data provider's context. A
/// calculator and its cache belong to one thread at a time.
class TimeEntriesChartDataCalculator {
 public:
  /// Chart columns by query key (see ReportCacheProvider).
  using ChartDataCache = std::map<std::string, SessionColumnData>;

  /// `dataProvider` must not be null; its context runs every fetch. The cache starts as
  /// `chartDataCache`, or empty.
  explicit TimeEntriesChartDataCalculator(std::shared_ptr<BaseDataProvider> dataProvider,
                                          std::optional<ChartDataCache> chartDataCache = std::nullopt);

  /// The provider whose context the fetches run in.
  const std::shared_ptr<BaseDataProvider>& dataProvider() const { return dataProvider_; }
  /// A calculator over the same provider, without a cache provider.
  const ReportCalculator& reportCalculator() const { return reportCalculator_; }
  /// Every column computed so far (without the running entry), by key.
  const ChartDataCache& chartDataCache() const { return chartDataCache_; }

  /// The columns of `query`'s period in time order, each the start of a day or month
  /// (`granularity`) of the application's current calendar up to the next one, the first
  /// and last possibly partial. Empty when the query lacks a bound or `from` is not before
  /// `to`. With `filterOutSmallGroups`, segments of 60 s or less are left out.
  /// `includeCurrentSession` is the running entry to add (null: none), an object of the
  /// provider's context.
  std::vector<SessionColumnData> calculateValuesForBarChart(const SessionQuery3& query,
                                                            ReportChartGranularity granularity,
                                                            bool filterOutSmallGroups,
                                                            const std::shared_ptr<Session>& includeCurrentSession);
  /// One column over exactly `query`'s period, from the cache when it holds it, plus the
  /// running entry's part. A query without both bounds gives an empty column dated now.
  SessionColumnData calculateColumnData(const SessionQuery3& query, bool filterOutSmallGroups,
                                        const std::shared_ptr<Session>& includeCurrentSession);

  /// The mean total duration of the columns that count at least one entry; 0 when none does.
  static double avgDurationInSessionColumns(const std::vector<SessionColumnData>& columns);

 private:
  /// The running entry's part of one column.
  struct RunningShare {
    double duration = 0;
    double revenue = 0;
    bool included = false;
  };
  /// The cache key of a column query.
  static std::string cacheKey(const SessionQuery3& query, bool filterOutSmallGroups);
  /// The column of `query` under the cache key `key`.
  SessionColumnData columnData(const SessionQuery3& query, const std::string& key, bool filterOutSmallGroups,
                               const std::shared_ptr<Session>& includeCurrentSession);
  RunningShare runningShare(const SessionQuery3& query, const Session* session) const;
  void addRunningShare(SessionColumnData& column, const Session* session, const RunningShare& share,
                       bool filterOutSmallGroups) const;
  /// Fills `column` from the store, on the provider's context.
  void fillColumn(SessionColumnData& column, const SessionQuery3& query, bool filterOutSmallGroups);
  /// Caches the columns `missing` (ascending indexes into the tiling `columnQueries`, whose
  /// cache keys are `keys`) from one read of the entries touching their span. On a store
  /// error nothing is cached.
  void fillColumns(const std::vector<SessionQuery3>& columnQueries, const std::vector<std::string>& keys,
                   const std::vector<std::size_t>& missing, bool filterOutSmallGroups);

  std::shared_ptr<BaseDataProvider> dataProvider_;
  ReportCalculator reportCalculator_;
  Logger log_;
  ChartDataCache chartDataCache_;
};

}  // namespace chronelle
