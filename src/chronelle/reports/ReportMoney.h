#pragma once

#include <cmath>

namespace chronelle {

/// The money earned by `seconds` at `hourlyRate`, rounded to hundredths with halves away from
/// zero: round(seconds × rate ÷ 3600 × 100) ÷ 100. Taken as one product and one division
/// (seconds × rate ÷ 36), both exact or correctly rounded, so an amount that is exactly half a
/// cent is seen as such and rounds up; dividing the rate by 3600 first would blur it. Never
/// throws; thread-safe.
inline double revenueOf(double seconds, double hourlyRate) {
  return std::round(seconds * hourlyRate / 36.0) / 100.0;
}

}  // namespace chronelle
