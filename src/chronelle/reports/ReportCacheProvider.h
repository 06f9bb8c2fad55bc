#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "chronelle/platform/Logger.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/reports/SessionColumnData.h"
#include "chronelle/reports/TotalValues.h"

namespace chronelle {

/// The caches of report totals and of chart columns, kept until the tracked data changes: on
/// every "mainContextDidChange" whose ContextChanges report a change to time entries, tasks
/// or folders both maps are emptied (changes to rules or the activity log keep them).
///
/// The application keeps one long-lived provider, hands copies of its maps to the background
/// operations and merges what they return with `apply`. Operations make providers of their
/// own, which observe the notification too, so the notification may empty a provider on the
/// posting thread while an operation uses it on another: every member is thread-safe (one
/// mutex guards both maps). Held by std::shared_ptr because calculators share it with their
/// owner. Not copyable; unregisters its observer when destroyed.
class ReportCacheProvider {
 public:
  /// Totals by query key.
  using BreakdownCache = std::map<std::string, TotalValues>;
  /// Chart columns by query key.
  using ChartDataCache = std::map<std::string, SessionColumnData>;

  /// Empty maps; observes "mainContextDidChange" from any sender on the default centre.
  ///@{
  ReportCacheProvider();
  ~ReportCacheProvider();
  ReportCacheProvider(const ReportCacheProvider&) = delete;
  ///@}
  ReportCacheProvider& operator=(const ReportCacheProvider&) = delete;

  /// Totals by key (the query's hashKey, "-", the value types' raw value); a copy.
  BreakdownCache breakdownCache() const;
  /// Chart columns by key (the query's hashKey, "-", "true"/"false" for the small-group
  /// filter); a copy.
  ChartDataCache trackedSessionsChartDataCache() const;
  /// The totals under `key`, or nothing when none are cached.
  std::optional<TotalValues> breakdownCacheValue(const std::string& key) const;

  /// Merges `cache` into the totals; an incoming value replaces a cached one.
  void apply(const BreakdownCache& cache);
  /// Merges `cache` into the chart columns; an incoming value replaces a cached one.
  void apply(const ChartDataCache& cache);
  /// Stores `value` under `key`, replacing any earlier value.
  void setValueToBreakdownCache(const TotalValues& value, const std::string& key);

  /// Empties both maps (logging "clearing report caches" at debug level) when the
  /// notification carries a ContextChanges under "contextChanges" with tracked-data changes;
  /// does nothing otherwise. Runs on the posting thread.
  void mainContextDidChange(const Notification& notification);

 private:
  Logger log_;
  mutable std::mutex mutex_;  ///< guards breakdownCache_ and chartDataCache_
  BreakdownCache breakdownCache_;
  ChartDataCache chartDataCache_;
  /// Declared last: unregistered first on destruction, before the maps go.
  ObserverToken observer_;
};

}  // namespace chronelle
