#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "chronelle/reports/BillingBreakdown.h"
#include "chronelle/reports/TotalValues.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

/// The result of one report screen's calculation. Parts that were not requested are absent
/// (the summary zero). A value type; thread-safe as any value (it holds object IDs, not
/// objects).
struct BreakdownReportCalculation {
  /// Totals per tracked task and per folder above one.
  std::optional<std::map<ObjectID, TotalValues>> nodeBreakdown;
  /// The tasks with time in the period and their ancestors, whatever task and billing filter
  /// the report shows.
  ///@{
  std::optional<std::set<ObjectID>> trackedNodeIds;
  std::optional<BillingBreakdown> billingBreakdown;
  ///@}
  /// Overall totals.
  TotalValues summary;

  /// Everything absent, the summary zero.
  ///@{
  BreakdownReportCalculation() = default;
  BreakdownReportCalculation(std::optional<std::map<ObjectID, TotalValues>> nodesBreakdown,
                             std::optional<std::set<ObjectID>> trackedNodeIds,
                             std::optional<BillingBreakdown> billingBreakdown, TotalValues summary)
      : nodeBreakdown(std::move(nodesBreakdown)),
        trackedNodeIds(std::move(trackedNodeIds)),
        billingBreakdown(std::move(billingBreakdown)),
        summary(summary) {}
  ///@}

  /// Everything absent, the summary zero. Constant, so threads may read it freely.
  static const BreakdownReportCalculation zero;

  /// "BreakdownReportCalculation:\n" and, when the node breakdown is present, one line per
  /// node: "<object ID URI> <duration as h:mm:ss> | <revenue>\n". For logs.
  std::string description() const;

  /// Equal when every field is.
  friend bool operator==(const BreakdownReportCalculation&, const BreakdownReportCalculation&) = default;
};

inline const BreakdownReportCalculation BreakdownReportCalculation::zero{};

}  // namespace chronelle
