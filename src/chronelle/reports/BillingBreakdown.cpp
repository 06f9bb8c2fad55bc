#include "chronelle/reports/BillingBreakdown.h"

namespace chronelle {

const TotalValues& BillingBreakdown::totalValues(SessionQuery3::BillingStatusOption option) const {
  switch (option) {
    case SessionQuery3::BillingStatusOption::nonBillable: return nonBillable;
    case SessionQuery3::BillingStatusOption::unbilled: return unbilled;
    case SessionQuery3::BillingStatusOption::billed: return billed;
    case SessionQuery3::BillingStatusOption::paid: return paid;
  }
  return unbilled;
}

TotalValues& BillingBreakdown::totalValues(SessionQuery3::BillingStatusOption option) {
  return const_cast<TotalValues&>(static_cast<const BillingBreakdown&>(*this).totalValues(option));
}

}  // namespace chronelle
