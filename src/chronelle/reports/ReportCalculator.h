#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/model/NodeSet.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/reports/BillingBreakdown.h"
#include "chronelle/reports/NodeReportScope.h"
#include "chronelle/reports/ReportScope3.h"
#include "chronelle/reports/TotalValueTypeOptionSet.h"
#include "chronelle/reports/TotalValues.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

class BaseDataProvider;
class Folder;
class Node;
class ReportCacheProvider;
class Session;

/// Turns a SessionQuery3 into report numbers: totals of duration, revenue and entry count,
/// the same by billing state and by node, and the tasks with time in the period.
///
/// Totals are summed by the store: one aggregate fetch over the finished entries that lie
/// wholly inside the period (a second one for revenue), while the few entries crossing a
/// bound are loaded and clipped in memory. Running entries are left out (see
/// TotalValues::byAddingUnconfirmedCurrentSession). With a cache provider, totals are cached
/// per query and value types.
///
/// Never throws: a store error is logged on the "Report" logger and the calculation goes on
/// with what it has. Every store access runs synchronously on the data provider's context
/// (the caller blocks); objects returned belong to that context. The calculator keeps no
/// state besides its references; use one calculator from one thread at a time.
class ReportCalculator {
 public:
  /// Which totals a caller wants (see TotalValueTypeOptionSet.h).
  using TotalValueTypeOptionSet = chronelle::TotalValueTypeOptionSet;
  /// Confirmed sums leave running entries out; effective sums measure them up to now.
  enum class CalculationType { confirmed, effective };
  /// Totals by the object ID of a task or folder.
  using NodeBreakdown = std::map<ObjectID, TotalValues>;

  /// `dataProvider` must not be null; the calculator shares it (and runs its fetches on its
  /// context). Without a cache provider nothing is cached.
  explicit ReportCalculator(std::shared_ptr<BaseDataProvider> dataProvider,
                            std::shared_ptr<ReportCacheProvider> cacheProvider = nullptr);

  /// The provider whose context the fetches run in.
  const std::shared_ptr<BaseDataProvider>& dataProvider() const { return dataProvider_; }
  /// The cache; null when nothing is cached.
  const std::shared_ptr<ReportCacheProvider>& cacheProvider() const { return cacheProvider_; }
  /// Replaces the cache (null: cache nothing).
  void setCacheProvider(std::shared_ptr<ReportCacheProvider> cacheProvider) {
    cacheProvider_ = std::move(cacheProvider);
  }

  /// The totals of the finished entries `query` selects, clipped to its period; fields not in
  /// `valueTypes` stay zero. Cached under "<hashKey>-<raw value of valueTypes>".
  TotalValues totalValuesForSessions(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const;
  /// Totals per billing state, each with the query's own billing filter replaced by that one
  /// state. Non-billable revenue is always 0.
  BillingBreakdown calculateBillingBreakdown(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const;
  /// Totals of every tracked task and of every folder above one (the sum of its tracked tasks
  /// below), by object ID. Empty when nothing was tracked. Each task's totals are those of the
  /// query narrowed to that task, cached under that query's key; the tasks not in the cache
  /// are summed together in one grouped aggregate and one edge fetch, not one fetch each.
  /// Their sum, the query's own totals, is cached too when it is exact (whole seconds), so
  /// totalValuesForSessions of the same query and value types reads nothing afterwards.
  NodeBreakdown calculateNodeBreakdown(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const;
  /// Totals of each direct child of `parentFolder` (of the top level when null), archived
  /// ones included, with the query's task set replaced by the child's tasks; children
  /// without any time in the period are left out.
  NodeBreakdown calculateFlatNodeBreakdown(const SessionQuery3& query, const std::shared_ptr<Folder>& parentFolder,
                                           TotalValueTypeOptionSet valueTypes) const;
  /// The tasks that have an entry touching the period (edge and running entries count).
  /// Empty on error.
  TaskSet trackedTasks(const SessionQuery3& query) const;
  /// The tracked tasks and all their ancestor folders.
  NodeSet trackedNodes(const SessionQuery3& query) const;

  /// Sums over any entries, clipped to the optional bounds (an entry contributes the part
  /// of [begin, end) inside [from, to)). Confirmed sums skip running entries; effective sums
  /// measure them up to now. Revenue is rounded to hundredths per entry; non-billable entries
  /// add none. Run on the entries' context queue.
  ///@{
  static double totalEffectiveDuration(const std::vector<std::shared_ptr<Session>>& sessions,
                                       std::optional<Date> from, std::optional<Date> to);
  static double totalConfirmedDuration(const std::vector<std::shared_ptr<Session>>& sessions,
                                       std::optional<Date> from, std::optional<Date> to);
  static double totalEffectiveRevenue(const std::vector<std::shared_ptr<Session>>& sessions,
                                      std::optional<Date> from, std::optional<Date> to);
  static double totalConfirmedRevenue(const std::vector<std::shared_ptr<Session>>& sessions,
                                      std::optional<Date> from, std::optional<Date> to);
  static double totalDuration(const std::vector<std::shared_ptr<Session>>& sessions, std::optional<Date> from,
                              std::optional<Date> to, CalculationType calculationType);
  static double totalRevenue(const std::vector<std::shared_ptr<Session>>& sessions, std::optional<Date> from,
                             std::optional<Date> to, CalculationType calculationType);
  ///@}

  /// A custom scope from the start of the day of the nodes' oldest entry to the end of the
  /// day of their latest one (of now when it runs), in `calendar`, over `nodes`. Nothing when
  /// the nodes have no entries.
  std::optional<ReportScope3> getCustomReportScope(const NodeSet& nodes, const Calendar& calendar) const;
  /// The same over the tasks of one node, as a NodeReportScope with `node` as parent.
  std::optional<NodeReportScope> getCustomNodeReportScope(const std::shared_ptr<Node>& node,
                                                          const Calendar& calendar) const;

 private:
  /// The key under which the totals of `query` for `valueTypes` are cached: every breakdown
  /// looks up and stores its parts under the key the totals of each part alone would have.
  static std::string cacheKey(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes);
  /// The first and last instants covering every entry of `tasks`, or nothing.
  std::optional<DateInterval> customPeriod(const TaskSet& tasks, const Calendar& calendar) const;
  /// Computing internals run on the provider's context. (The store bounds their fetches of
  /// entries crossing the period by the longest entry itself.)
  ///@{
  TotalValues cachedTotals(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const;
  TotalValues computeTotals(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const;
  ///@}
  /// The totals of `query` per task, as computeTotals would give for each task alone. With
  /// `overall`, also the totals of the whole query, as computeTotals gives them, when the
  /// groups add up to them exactly (whole seconds); left empty otherwise.
  NodeBreakdown computeTotalsByTask(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes,
                                    std::optional<TotalValues>* overall = nullptr) const;
  /// The totals of `query` per billing state, as computeTotals would give for each state
  /// alone (the query's own billing filter aside).
  BillingBreakdown computeTotalsByBillingState(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const;

  std::shared_ptr<BaseDataProvider> dataProvider_;
  std::shared_ptr<ReportCacheProvider> cacheProvider_;
  Logger log_;
};

}  // namespace chronelle
