#pragma once

#include <optional>

namespace chronelle {

/// The width of one chart column: a day or a month. Chosen by the caller of the chart
/// operations; no report scope carries one. A value type.
enum class ReportChartGranularity : int { daily = 0, monthly = 1 };

/// The granularity of `rawValue`, or nothing outside 0…1.
constexpr std::optional<ReportChartGranularity> reportChartGranularityFromRaw(int rawValue) {
  if (rawValue < 0 || rawValue > 1) return std::nullopt;
  return static_cast<ReportChartGranularity>(rawValue);
}

}  // namespace chronelle
