#pragma once

#include <string>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/reports/TotalValues.h"

namespace chronelle {

/// Report totals by billing state. Non-billable entries are counted apart from the three
/// states of billable ones and never carry revenue. A value type.
struct BillingBreakdown {
  /// Entries that are not billable (no revenue).
  TotalValues nonBillable;
  /// Billable entries not billed yet.
  TotalValues unbilled;
  /// Billed entries.
  TotalValues billed;
  /// Paid entries.
  TotalValues paid;

  /// All four zero.
  static const BillingBreakdown zero;

  /// The field named like `option`.
  ///@{
  const TotalValues& totalValues(SessionQuery3::BillingStatusOption option) const;
  TotalValues& totalValues(SessionQuery3::BillingStatusOption option);
  ///@}

  /// Equal when every field is.
  friend bool operator==(const BillingBreakdown&, const BillingBreakdown&) = default;
};

inline const BillingBreakdown BillingBreakdown::zero{};

}  // namespace chronelle
