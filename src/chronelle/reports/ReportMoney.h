#pragma once

#include "chronelle/support/Money.h"

namespace chronelle {

/// The money earned by `seconds` at `hourlyRate`: seconds × rate ÷ 3600 rounded to hundredths
/// with exact halves away from zero. The one revenue rule of the library (revenueAmount), under
/// the name the report and chart calculators use. Never throws; thread-safe.
inline double revenueOf(double seconds, double hourlyRate) { return revenueAmount(seconds, hourlyRate); }

}  // namespace chronelle
