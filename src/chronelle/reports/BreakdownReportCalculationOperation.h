#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/reports/BreakdownReportCalculation.h"
#include "chronelle/reports/ReportOperation.h"
#include "chronelle/reports/TotalValueTypeOptionSet.h"
#include "chronelle/reports/TotalValues.h"

namespace chronelle {

class ReportCalculator;

/// Computes a BreakdownReportCalculation for one query in the background: on a private store
/// context of its own over the registered CoreDataStack (so it never touches the main
/// context), with a ReportCalculator seeded from the given totals cache, and hands the record
/// and the cache as it stands after the run (seed plus every total computed, sub-queries
/// included) to its completion, once, on the thread that runs it. Store errors are logged by
/// the calculator and give zero or partial totals; the operation reports no error.
///
/// Precondition: a CoreDataStack is registered in the Injector's container. Thread-safe to
/// enqueue from any thread; inputs are immutable.
class BreakdownReportCalculationOperation : public ReportOperation {
 public:
  /// Which parts of the record to compute: nodeBreakdown 1 (with trackedNodeIds),
  /// billingBreakdown 2, summary 4, all 7.
  struct CalculationOptions {
    /// The bits of the chosen parts.
    std::int64_t rawValue = 0;
    constexpr CalculationOptions() = default;
    /// The options with the bits of `raw`.
    constexpr explicit CalculationOptions(std::int64_t raw) : rawValue(raw) {}
    /// Totals per node (1), per billing state (2), the period's totals (4), or all three.
    ///@{
    static const CalculationOptions nodeBreakdown;
    static const CalculationOptions billingBreakdown;
    static const CalculationOptions summary;
    static const CalculationOptions all;
    ///@}
    /// True when every part of `other` is chosen.
    constexpr bool contains(CalculationOptions other) const { return (rawValue & other.rawValue) == other.rawValue; }
    /// The parts of both.
    constexpr CalculationOptions operator|(CalculationOptions other) const {
      return CalculationOptions(rawValue | other.rawValue);
    }
    /// Equal when every field is.
    friend constexpr bool operator==(CalculationOptions, CalculationOptions) = default;
  };
  /// Totals by query key (see ReportCacheProvider).
  using Cache = std::map<std::string, TotalValues>;
  /// Called once with the operation, the record and the totals cache after the run (copies
  /// the caller may keep), on the operation's thread: move to the main thread before
  /// touching interface state or calling ReportCacheProvider::apply.
  using Completion =
      std::function<void(BreakdownReportCalculationOperation&, const BreakdownReportCalculation&, const Cache&)>;

  /// Whether a node breakdown comes with the tracked nodes of the unfiltered period (what a
  /// screen offers as filter choices), which cost a second pass over the period's entries.
  enum class TrackedNodes { listed, leftOut };

  /// The record of `options` for `query`, computed with `calculator` as the operation does:
  /// the node breakdown (with the tracked nodes unless `trackedNodes` leaves them out), then
  /// the billing breakdown, then the summary, in one block on the calculator's context, so
  /// that a part asked later finds what an earlier one cached. Never throws (see
  /// ReportCalculator); blocks the caller.
  static BreakdownReportCalculation calculate(const ReportCalculator& calculator, const SessionQuery3& query,
                                              CalculationOptions options, TotalValueTypeOptionSet valueTypes,
                                              TrackedNodes trackedNodes = TrackedNodes::listed);

  /// An operation computing `options` for `sessionQuery`; see `start` for where it runs.
  BreakdownReportCalculationOperation(SessionQuery3 sessionQuery, CalculationOptions options,
                                      TotalValueTypeOptionSet valueTypes, std::optional<Cache> cache,
                                      Completion completion);

  /// The query computed, as given.
  const SessionQuery3& sessionQuery() const { return sessionQuery_; }
  /// The parts computed, as given.
  CalculationOptions options() const { return options_; }
  /// The totals computed, as given.
  TotalValueTypeOptionSet valueTypes() const { return valueTypes_; }
  /// The totals cached before the run, as given; absent when none were.
  const std::optional<Cache>& cache() const { return cache_; }
  /// SQL queries the operation's context ran, known once the completion is called (0
  /// before); shows whether the seed cache answered everything.
  std::size_t storeFetchCount() const { return storeFetchCount_.load(); }

 protected:
  void main() override;

 private:
  const SessionQuery3 sessionQuery_;
  const CalculationOptions options_;
  const TotalValueTypeOptionSet valueTypes_;
  const std::optional<Cache> cache_;
  const Completion completion_;
  std::atomic<std::size_t> storeFetchCount_{0};
};

inline constexpr BreakdownReportCalculationOperation::CalculationOptions
    BreakdownReportCalculationOperation::CalculationOptions::nodeBreakdown{1};
inline constexpr BreakdownReportCalculationOperation::CalculationOptions
    BreakdownReportCalculationOperation::CalculationOptions::billingBreakdown{2};
inline constexpr BreakdownReportCalculationOperation::CalculationOptions
    BreakdownReportCalculationOperation::CalculationOptions::summary{4};
inline constexpr BreakdownReportCalculationOperation::CalculationOptions
    BreakdownReportCalculationOperation::CalculationOptions::all{7};

}  // namespace chronelle
