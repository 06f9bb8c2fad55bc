#pragma once

#include <cmath>

namespace chronelle {

/// `value` rounded to `places` decimal places, halves away from zero: round(value × 10^places)
/// ÷ 10^places. The product is taken in binary floating point, so a value such as 1.005, which
/// is stored slightly below its decimal text, rounds down. Never throws.
inline double roundedToPlaces(double value, int places) {
  const double scale = std::pow(10.0, places);
  return std::round(value * scale) / scale;
}

}  // namespace chronelle
